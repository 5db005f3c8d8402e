#include "Common.h"

#include <cstdio>
#include <iterator>

namespace Standin {

std::string Narrow(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(),
                              size, nullptr, nullptr);
    }
    return result;
}

// The system's text for a code, without its trailing line break, or "" when it has none. In
// UTF-8 like the rest of the line: the narrow call would answer in the ANSI code page, which
// need not hold the letters of the language the system answers in.
static std::string SystemText(DWORD code) {
    wchar_t buffer[512] = {};
    DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                         0, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
    std::string text = Narrow(std::wstring(buffer, length));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' ||
                             text.back() == '.')) {
        text.pop_back();
    }
    return text;
}

std::string Describe(const Outcome& outcome) {
    std::string text = outcome.what;
    std::string system = SystemText(outcome.code);
    if (!system.empty()) {
        text += ": " + system;
    }
    return text + " (error " + std::to_string(outcome.code) + ")";
}

int Report(const Outcome& outcome) {
    std::fprintf(stderr, "kacd-standin: %s\n", Describe(outcome).c_str());
    std::fflush(stderr);
    return 1;
}

} // namespace Standin
