// Helpers of the outside-library tests: texts shown readably in failure messages, the
// message of the runtime error an action throws, and the bytes of a file.
#pragma once

#include "KaTek.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>

namespace KaTekStr {
inline void PrintTo(const String_t& text, std::ostream* out) {
    *out << (text.IsNull() ? "(null)" : '"' + NarrowUtf8(text.Std()) + '"');
}
} // namespace KaTekStr

// The what() of the RuntimeError_t that action throws, or "(no exception)".
inline std::string Thrown(const std::function<void()>& action) {
    try {
        action();
    } catch (const KaTekMsg::RuntimeError_t& e) {
        return e.what();
    }
    return "(no exception)";
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline std::string ReadBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
