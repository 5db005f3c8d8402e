// KaTek runtime: URIs taken apart by the platform's URL cracker.
#include "KaTek/Msg.h"
#include "KaTek/Net.h"

#include <windows.h>
#include <winhttp.h>

#include <string>

namespace KaTekNet {

namespace {

[[noreturn]] void ThrowNotUri(const String_t& text) {
    KaTekMsg::ThrowRuntime(KaTekMsg::MSG_URI, {text});
}

// The port as written between the host and the path ("" when none is written). The
// cracker keeps ports in 16 bits and may wrap a larger one, so it is read here first.
std::wstring FindWrittenPort(const std::wstring& text) {
    const size_t schemeEnd = text.find(L"://");
    if (schemeEnd == std::wstring::npos) {
        return std::wstring();
    }
    const size_t begin = schemeEnd + 3;
    const size_t end = text.find_first_of(L"/?#", begin);
    std::wstring authority = text.substr(begin, end == std::wstring::npos ? end : end - begin);
    const size_t at = authority.rfind(L'@');
    authority = at == std::wstring::npos ? authority : authority.substr(at + 1);
    // An IPv6 host is bracketed and holds colons of its own.
    const size_t hostEnd = authority.empty() || authority[0] != L'[' ? 0 : authority.find(L']');
    const size_t colon = authority.find(L':', hostEnd == std::wstring::npos ? 0 : hostEnd);
    return colon == std::wstring::npos ? std::wstring() : authority.substr(colon + 1);
}

void CheckWrittenPort(const String_t& text, const std::wstring& port) {
    if (port.size() > 5 || port.find_first_not_of(L"0123456789") != std::wstring::npos) {
        ThrowNotUri(text);
    }
    if (!port.empty() && std::stoul(port) > 65535) {
        ThrowNotUri(text);
    }
}

String_t MakePart(const wchar_t* start, DWORD length) {
    return start == nullptr ? String_t() : String_t(start, length);
}

} // namespace

URI_t::URI_t(const String_t& text) : text_(text) {
    if (text.IsEmpty()) {
        ThrowNotUri(text);
    }
    const std::wstring port = FindWrittenPort(text.Std());
    CheckWrittenPort(text, port);

    URL_COMPONENTS parts = {};
    parts.dwStructSize = sizeof parts;
    // Lengths of -1 ask the cracker to point into the text instead of copying.
    parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength =
        parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(text.c_str(), text.GetLength(), 0, &parts)) {
        ThrowNotUri(text);
    }
    const bool https = parts.nScheme == INTERNET_SCHEME_HTTPS;
    if ((parts.nScheme != INTERNET_SCHEME_HTTP && !https) || parts.dwHostNameLength == 0) {
        ThrowNotUri(text);
    }
    scheme_ = String_t(https ? "https" : "http");
    host_ = MakePart(parts.lpszHostName, parts.dwHostNameLength);
    port_ = parts.nPort;
    explicitPort_ = !port.empty();
    path_ = MakePart(parts.lpszUrlPath, parts.dwUrlPathLength) +
            MakePart(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path_.IsEmpty()) {
        path_ = String_t("/");
    }
}

} // namespace KaTekNet
