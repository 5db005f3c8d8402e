// KaTek runtime, private: UTF-16 code points, for the readers that must tell a surrogate pair
// from a lone surrogate (the settings parser, the XML writer). No platform call.
#pragma once

#include <cstddef>
#include <string_view>

namespace KaTekStr {

// kLoneSurrogate stands for a high or low surrogate without its partner: beyond every code point.
inline constexpr char32_t kLoneSurrogate = 0x110000;

inline bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// ReadCodePoint answers the code point that starts at index of text, which it moves past it:
// a surrogate pair is one code point, a surrogate without its partner kLoneSurrogate.
inline char32_t ReadCodePoint(std::wstring_view text, size_t& index) {
    const char32_t unit = static_cast<char16_t>(text[index++]);
    if (IsHighSurrogate(unit) && index < text.size() &&
        IsLowSurrogate(static_cast<char16_t>(text[index]))) {
        const char32_t low = static_cast<char16_t>(text[index++]);
        return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
    }
    return IsHighSurrogate(unit) || IsLowSurrogate(unit) ? kLoneSurrogate : unit;
}

// HasLoneSurrogate answers whether text holds a surrogate without its partner.
inline bool HasLoneSurrogate(std::wstring_view text) {
    for (size_t index = 0; index < text.size();) {
        if (ReadCodePoint(text, index) == kLoneSurrogate) {
            return true;
        }
    }
    return false;
}

} // namespace KaTekStr
