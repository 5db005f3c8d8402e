// The system's text for a Win32 error code, the one way every binary of the project reads it:
// the wide text (the narrow one is in the ANSI code page, which need not hold the letters of
// the language the system answers in), insert sequences such as "%1" kept as written, and the
// line end it closes with cut off.
#pragma once

#include "Holders.h"

#include <string>
#include <string_view>

namespace KaCommon {

// CutLineEnd answers text without the line end it closes with: "\r\n", or a lone "\n" or
// "\r". A text that closes with none is kept whole: no character of the text itself is cut.
inline std::wstring_view CutLineEnd(std::wstring_view text) {
    if (text.size() >= 2 && text.substr(text.size() - 2) == L"\r\n") {
        return text.substr(0, text.size() - 2);
    }
    if (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) {
        return text.substr(0, text.size() - 1);
    }
    return text;
}

// ReadSystemMessage answers the system's message for code without its line end; empty when the
// system has no message for it. Without FORMAT_MESSAGE_IGNORE_INSERTS the system would fetch
// inserts from an argument list that is not there.
inline std::wstring ReadSystemMessage(DWORD code) {
    KaHold::unique_local buffer;
    const DWORD flags =
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument is where the system stores the
    // address of the text it allocates.
    const DWORD length = ::FormatMessageW(flags, nullptr, code, 0,
                                          reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
    if (length == 0 || !buffer) {
        return std::wstring();
    }
    return std::wstring(
        CutLineEnd(std::wstring_view(static_cast<const wchar_t*>(buffer.get()), length)));
}

} // namespace KaCommon
