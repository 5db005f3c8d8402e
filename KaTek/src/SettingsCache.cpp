// KaTek runtime: the last parse of the settings file, shared by every caller.
#include "SettingsCache.h"

#include <windows.h>

#include <mutex>
#include <string>

namespace KaTekConfig {

namespace {

uint64_t ToTicks(const FILETIME& time) {
    return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime;
}

uint64_t SystemTimeNow() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    return ToTicks(now);
}

// The folder a path names its file in: up to its last separator, a root keeping its own.
std::wstring FindFolder(const std::wstring& path) {
    const size_t last = path.find_last_of(L"\\/");
    if (last == std::wstring::npos) {
        return L".";
    }
    const bool root = last == 0 || (last == 2 && path[1] == L':');
    return path.substr(0, root ? last + 1 : last);
}

// Two queries by name, no open: an open costs many times more, on Wine a hundred times.
FileStamp QueryStamp(const std::wstring& path) {
    FileStamp stamp;
    WIN32_FILE_ATTRIBUTE_DATA folder;
    if (!::GetFileAttributesExW(FindFolder(path).c_str(), GetFileExInfoStandard, &folder)) {
        return stamp;
    }
    WIN32_FILE_ATTRIBUTE_DATA file;
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &file)) {
        const DWORD error = ::GetLastError();
        stamp.known = error == ERROR_FILE_NOT_FOUND;
    } else {
        stamp.known = (file.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        stamp.present = true;
        stamp.size = (uint64_t{file.nFileSizeHigh} << 32) | file.nFileSizeLow;
        stamp.created = ToTicks(file.ftCreationTime);
        stamp.written = ToTicks(file.ftLastWriteTime);
    }
    stamp.folderWritten = ToTicks(folder.ftLastWriteTime);
    return stamp;
}

// The last parse kept, one file at a time: another path replaces it. Its lock is held only to
// look at it or to replace it, never while a file is read.
struct Kept {
    std::wstring path;
    FileStamp stamp;
    std::shared_ptr<const SettingsFile> settings;
};
std::mutex g_keptLock;
Kept g_kept;

std::shared_ptr<const SettingsFile> FindKept(const std::wstring& path, const FileStamp& stamp) {
    std::lock_guard<std::mutex> guard(g_keptLock);
    if (g_kept.settings && g_kept.path == path && g_kept.stamp == stamp) {
        return g_kept.settings;
    }
    return nullptr;
}

void Keep(const std::wstring& path, const FileStamp& stamp,
          const std::shared_ptr<const SettingsFile>& settings) {
    std::lock_guard<std::mutex> guard(g_keptLock);
    g_kept = {path, stamp, settings};
}

} // namespace

std::shared_ptr<const SettingsFile> LoadCurrentSettings(const String_t& path) {
    // The time is taken before the file is looked at, so a write after the look is never
    // older than the read seems to be.
    const uint64_t readAt = SystemTimeNow();
    const FileStamp stamp = QueryStamp(path.Std());
    if (std::shared_ptr<const SettingsFile> kept = FindKept(path.Std(), stamp)) {
        return kept;
    }
    std::shared_ptr<const SettingsFile> settings = ReadSettingsFile(path);
    // An unsettled parse is not kept, and the one kept before is let go, so that at most one
    // parse is held between calls.
    Keep(path.Std(), stamp, IsSettled(stamp, readAt) ? settings : nullptr);
    return settings;
}

} // namespace KaTekConfig
