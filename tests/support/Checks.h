// Checks that several test programs share: what a call throws, a part or a pattern of a text,
// and the bytes of a file a test reads back.
#pragma once

#include "KaTek.h"

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace KaTest {

// Thrown answers the what() of the Error that action throws (up to a NUL, as what() ends
// there), or "(no exception)"; an exception of another type passes through.
template <typename Error = KaTekMsg::RuntimeError_t, typename Action>
std::string Thrown(Action action) {
    try {
        action();
    } catch (const Error& error) {
        return error.what();
    }
    return "(no exception)";
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Glob answers whether text matches pattern, in which '*' stands for any text (line ends too),
// '%' for one digit and any other character for itself.
inline bool Glob(std::string_view pattern, std::string_view text) {
    if (!pattern.empty() && pattern[0] == '*') {
        return Glob(pattern.substr(1), text) || (!text.empty() && Glob(pattern, text.substr(1)));
    }
    if (pattern.empty() || text.empty()) {
        return pattern.empty() && text.empty();
    }
    bool same = pattern[0] == '%' ? text[0] >= '0' && text[0] <= '9' : pattern[0] == text[0];
    return same && Glob(pattern.substr(1), text.substr(1));
}

// ReadBytes answers the bytes of the file at path, or none when it cannot be read.
inline std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace KaTest
