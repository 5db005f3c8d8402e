// Checks that several test programs share: what a call throws, a part or a pattern of a text,
// the bytes of a file a test reads back, and handle leaks.
#pragma once

#include "Holders.h"
#include "KaTek.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace KaTekStr {
// PrintTo shows a text in a failed check as UTF-8, the null text as (null).
inline void PrintTo(const String_t& text, std::ostream* out) {
    *out << (text.IsNull() ? "(null)" : '"' + NarrowUtf8(text.Std()) + '"');
}
} // namespace KaTekStr

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

// Handle-leak checks: Wine answers GetProcessHandleCount with 0, but it gives each new
// handle the lowest free slot, so handles leaked by the calls under test push a batch of
// handles created afterwards to higher values. (One fresh handle is not enough: it may get
// the slot that the call under test took first and closed last, below what it leaked.)

// HighestFreshHandle answers the highest value among a batch of 64 new event handles, which
// it closes again.
inline uintptr_t HighestFreshHandle() {
    std::vector<KaHold::unique_handle> batch;
    uintptr_t highest = 0;
    for (int i = 0; i < 64; ++i) {
        batch.emplace_back(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        highest = std::max(highest, reinterpret_cast<uintptr_t>(batch.back().get()));
    }
    return highest;
}

// NoMoreHandlesThan answers whether no more handles are in use now than when
// HighestFreshHandle answered before. Windows' own threads (the thread pool, the loader) may
// hold a few more at one moment than at another: up to 8 handles, 4 apart, are let pass; a
// leak in calls repeated a thousand times shows as hundreds.
inline bool NoMoreHandlesThan(uintptr_t before) {
    return HighestFreshHandle() <= before + 8 * 4;
}

} // namespace KaTest
