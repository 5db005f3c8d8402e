// Log lines for the runtime's trace file and the control library's message log, which are
// separate DLLs that must stamp and append their lines alike.
#pragma once

#include "Holders.h"

#include <cstdio>
#include <string>

namespace KaCommon {

// FormatTimeStamp answers the local time as "yyyy-mm-dd hh:mm:ss.mmm".
inline std::string FormatTimeStamp() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char text[32];
    std::snprintf(text, sizeof(text), "%04u-%02u-%02u %02u:%02u:%02u.%03u", now.wYear, now.wMonth,
                  now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return text;
}

// AppendToFile appends bytes to the file at path, creating it, in one write on a handle
// opened for appending only: the system puts each write at the end of the file, so lines of
// several threads or processes neither overwrite nor split one another. Answers false when
// the file cannot be opened or written; the caller decides whether that matters.
inline bool AppendToFile(const wchar_t* path, const std::string& bytes) {
    KaHold::unique_handle file(::CreateFileW(path, FILE_APPEND_DATA,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    return file && ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                               nullptr);
}

} // namespace KaCommon
