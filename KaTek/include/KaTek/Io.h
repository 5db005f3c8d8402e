// KaTek runtime: files, streams and directory listing. Every failure raises
// KaTekMsg::RuntimeError_t whose message names the path and the platform's reason.
#pragma once

#include "KaTek/Str.h"

#include <cstdint>
#include <memory>

namespace KaTekIo {

using KaTekStr::String_t;

class KATEK_API File_t {
public:
    explicit File_t(const String_t& path) : path_(path) {}
    const String_t& GetPath() const { return path_; }
    static KaTekStr::UTF16CodePoint_t SeparatorChar() { return KaTekStr::UTF16CodePoint_t(L'\\'); }

private:
    String_t path_;
};

// FileInputStream_t reads a file from its start; the constructor throws when the file
// cannot be opened. The handle is released by Close() or by the destructor.
class KATEK_API FileInputStream_t {
public:
    explicit FileInputStream_t(const String_t& path);
    ~FileInputStream_t();
    FileInputStream_t(const FileInputStream_t&) = delete;
    FileInputStream_t& operator=(const FileInputStream_t&) = delete;

    // Reads exactly count bytes; throws when the file ends first or the read fails.
    void ReadFully(void* buffer, uint32_t count);
    void Close();
    const String_t& GetPath() const { return path_; }

private:
    String_t path_;
    void* handle_;
};

// DataInputStream_t reads typed values from a stream it borrows.
class KATEK_API DataInputStream_t {
public:
    explicit DataInputStream_t(FileInputStream_t& in) : in_(in) {}
    // Four bytes, least significant first (little-endian), as a DWORD lies in memory.
    uint32_t ReadUInt32();
    void Close() { in_.Close(); }

private:
    FileInputStream_t& in_;
};

// DirLister_t walks the names in one directory that pass its filter, in the order the
// platform's FindFirstFileW/FindNextFileW deliver them; "." and ".." are never delivered,
// subdirectories are. The constructor throws when the directory cannot be listed.
class KATEK_API DirLister_t {
public:
    class KATEK_API Filter_t {
    public:
        Filter_t() = default;
        // Accept only names ending in suffix, letter case counting.
        Filter_t& Suffix(const String_t& suffix);
        bool Accepts(const String_t& name) const;

    private:
        String_t suffix_;
    };

    DirLister_t(const File_t& dir, const Filter_t& filter);
    ~DirLister_t();
    DirLister_t(const DirLister_t&) = delete;
    DirLister_t& operator=(const DirLister_t&) = delete;

    bool IsAtEnd() const;
    String_t GetCurrentName() const; // the name alone, without the directory
    bool Next();                     // false at the end

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace KaTekIo
