// KaTek runtime: files, streams and directory listing.
#include "KaTek/Io.h"
#include "KaTek/Msg.h"

#include "FileRead.h"
#include "Holders.h"

#include <windows.h>

#include <utility>

namespace KaTekIo {

namespace {

// Whole-file reads serve settings files; anything this large is not one.
const LONGLONG kLargestWholeFile = 64LL * 1024 * 1024;

[[noreturn]] void ThrowFile(KaTekMsg::RuntimeMessage_e number, const String_t& path,
                            const String_t& reason) {
    KaTekMsg::ThrowRuntime(number, {path, reason});
}

[[noreturn]] void ThrowFileError(KaTekMsg::RuntimeMessage_e number, const String_t& path,
                                 DWORD error) {
    ThrowFile(number, path, KaTekMsg::SystemErrorText(error));
}

// Opens for reading; others may keep reading, writing or deleting it meanwhile, as the
// daemon rewrites its port file while clients read it.
KaHold::unique_handle OpenForReading(const String_t& path) {
    return KaHold::unique_handle(CreateFileW(
        path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

// Reads until count bytes arrived or the file ended; answers how many arrived.
uint32_t ReadUpTo(HANDLE file, void* buffer, uint32_t count, const String_t& path) {
    uint32_t total = 0;
    while (total < count) {
        DWORD got = 0;
        if (!ReadFile(file, static_cast<char*>(buffer) + total, count - total, &got, nullptr)) {
            ThrowFileError(KaTekMsg::MSG_FILE_READ, path, GetLastError());
        }
        if (got == 0) {
            break;
        }
        total += got;
    }
    return total;
}

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Without the "\\?\" prefix Windows takes a path of fewer than MAX_PATH units only (unless
// the program opted into long paths), and answers a longer one as if it did not exist.
bool IsOverPathLimit(const String_t& path) {
    const std::wstring& units = path.Std();
    return units.size() >= MAX_PATH && units.compare(0, 4, L"\\\\?\\") != 0;
}

} // namespace

bool ReadWholeFile(const String_t& path, std::string& bytes) {
    KaHold::unique_handle file = OpenForReading(path);
    if (!file) {
        const DWORD error = GetLastError();
        // A path the platform may have refused for its length cannot tell a missing file.
        if (IsMissing(error) && IsOverPathLimit(path)) {
            ThrowFile(KaTekMsg::MSG_FILE_OPEN, path,
                      String_t("not found, and the path is longer than the 259 characters "
                               "Windows takes without the \\\\?\\ prefix"));
        }
        if (IsMissing(error)) {
            return false;
        }
        ThrowFileError(KaTekMsg::MSG_FILE_OPEN, path, error);
    }
    LARGE_INTEGER size = {};
    if (!GetFileSizeEx(file.get(), &size)) {
        ThrowFileError(KaTekMsg::MSG_FILE_READ, path, GetLastError());
    }
    if (size.QuadPart > kLargestWholeFile) {
        ThrowFile(KaTekMsg::MSG_FILE_READ, path, String_t("larger than 64 MiB"));
    }
    bytes.assign(static_cast<size_t>(size.QuadPart), '\0');
    const uint32_t count = static_cast<uint32_t>(bytes.size());
    bytes.resize(count == 0 ? 0 : ReadUpTo(file.get(), &bytes[0], count, path));
    return true;
}

FileInputStream_t::FileInputStream_t(const String_t& path) : path_(path), handle_(nullptr) {
    KaHold::unique_handle file = OpenForReading(path);
    if (!file) {
        ThrowFileError(KaTekMsg::MSG_FILE_OPEN, path, GetLastError());
    }
    handle_ = file.release();
}

FileInputStream_t::~FileInputStream_t() {
    Close();
}

void FileInputStream_t::Close() {
    // The holder closes the handle, if any, as it goes out of scope.
    KaHold::unique_handle closing(std::exchange(handle_, nullptr));
}

void FileInputStream_t::ReadFully(void* buffer, uint32_t count) {
    if (handle_ == nullptr) {
        ThrowFile(KaTekMsg::MSG_FILE_READ, path_, String_t("the stream is closed"));
    }
    const uint32_t got = ReadUpTo(static_cast<HANDLE>(handle_), buffer, count, path_);
    if (got < count) {
        ThrowFile(KaTekMsg::MSG_FILE_READ, path_,
                  "the file ends after " + KaTekStr::NumToStr(got) + " of " +
                      KaTekStr::NumToStr(count) + " bytes");
    }
}

uint32_t DataInputStream_t::ReadUInt32() {
    unsigned char bytes[4] = {};
    in_.ReadFully(bytes, sizeof bytes);
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

DirLister_t::Filter_t& DirLister_t::Filter_t::Suffix(const String_t& suffix) {
    suffix_ = suffix;
    return *this;
}

bool DirLister_t::Filter_t::Accepts(const String_t& name) const {
    const std::wstring& text = name.Std();
    const std::wstring& tail = suffix_.Std();
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

namespace {

// The walk itself; DirLister_t::State is only its name inside the class.
struct Listing {
    String_t path;
    DirLister_t::Filter_t filter;
    KaHold::unique_find find;
    WIN32_FIND_DATAW entry = {};
    bool atEnd = false;
};

bool IsDotEntry(const wchar_t* name) {
    return std::wstring(name) == L"." || std::wstring(name) == L"..";
}

bool IsExistingDirectory(const String_t& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::wstring MakeAllEntriesPattern(const std::wstring& dir) {
    const bool endsWithSeparator = !dir.empty() && (dir.back() == L'\\' || dir.back() == L'/');
    return dir + (endsWithSeparator ? L"*" : L"\\*");
}

void Advance(Listing& listing) {
    if (!FindNextFileW(listing.find.get(), &listing.entry)) {
        const DWORD error = GetLastError();
        if (error != ERROR_NO_MORE_FILES) {
            ThrowFileError(KaTekMsg::MSG_DIR_LIST, listing.path, error);
        }
        listing.atEnd = true;
        listing.find.reset();
    }
}

// Moves on until the current entry is one to deliver, or the end.
void SkipRejected(Listing& listing) {
    while (!listing.atEnd && (IsDotEntry(listing.entry.cFileName) ||
                              !listing.filter.Accepts(String_t(listing.entry.cFileName)))) {
        Advance(listing);
    }
}

} // namespace

struct DirLister_t::State : Listing {};

DirLister_t::DirLister_t(const File_t& dir, const Filter_t& filter) : state_(new State) {
    state_->path = dir.GetPath();
    state_->filter = filter;
    if (state_->path.IsEmpty()) {
        ThrowFile(KaTekMsg::MSG_DIR_LIST, state_->path, String_t("no directory given"));
    }
    const std::wstring pattern = MakeAllEntriesPattern(state_->path.Std());
    state_->find.reset(FindFirstFileW(pattern.c_str(), &state_->entry));
    if (!state_->find) {
        const DWORD error = GetLastError();
        // Only a directory with no entries at all (a drive root) finds nothing and is fine.
        if (error != ERROR_FILE_NOT_FOUND || !IsExistingDirectory(state_->path)) {
            ThrowFileError(KaTekMsg::MSG_DIR_LIST, state_->path, error);
        }
        state_->atEnd = true;
        return;
    }
    SkipRejected(*state_);
}

DirLister_t::~DirLister_t() = default;

bool DirLister_t::IsAtEnd() const {
    return state_->atEnd;
}

String_t DirLister_t::GetCurrentName() const {
    return state_->atEnd ? String_t::Null() : String_t(state_->entry.cFileName);
}

bool DirLister_t::Next() {
    if (!state_->atEnd) {
        Advance(*state_);
        SkipRejected(*state_);
    }
    return !state_->atEnd;
}

} // namespace KaTekIo
