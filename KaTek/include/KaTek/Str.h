// KaTek runtime: texts.
//
// String_t holds UTF-16 code units with value semantics. The null text is distinct from
// the empty one: both have length 0, only the null text answers IsNull(). Every editing
// call checks its range and throws KaTekMsg::RuntimeError_t for a start or end beyond
// the text, so no call reads or writes past it.
//
// Narrow text (const char*) is taken as one unit per byte for ASCII and converted from
// the process's ANSI code page otherwise; MBS_t converts back to that code page.
#pragma once

#include "KaTek/Export.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace KaTekStr {

// One UTF-16 unit.
struct KATEK_API UTF16CodePoint_t {
    explicit UTF16CodePoint_t(char c) : unit(static_cast<unsigned char>(c)) {}
    explicit UTF16CodePoint_t(wchar_t w) : unit(w) {}
    wchar_t unit;
};

// IsBlank answers whether unit is one of the blanks String_t::Trim strips: space, tab, CR, LF,
// VT and FF.
inline bool IsBlank(wchar_t unit) {
    return unit == L' ' || unit == L'\t' || unit == L'\r' || unit == L'\n' || unit == L'\v' ||
           unit == L'\f';
}

class KATEK_API String_t {
public:
    static constexpr uint32_t npos = 0xFFFFFFFFu;

    String_t() = default;          // the empty text
    String_t(const char* narrow);  // from narrow text; null pointer gives the null text
    String_t(const wchar_t* wide); // from UTF-16; null pointer gives the null text
    String_t(const wchar_t* wide, uint32_t units);
    explicit String_t(UTF16CodePoint_t unit);
    explicit String_t(const std::wstring& wide);
    explicit String_t(std::wstring&& wide); // takes the units over: a long text is not copied

    static String_t Null();

    bool IsNull() const { return isNull_; }
    bool IsEmpty() const { return units_.empty(); }
    bool IsNotEmpty() const { return !units_.empty(); }
    uint32_t GetLength() const { return static_cast<uint32_t>(units_.size()); }

    String_t& operator+=(const String_t& other);
    String_t& operator+=(const char* narrow);
    String_t operator+(const String_t& other) const;
    String_t operator+(const char* narrow) const;
    friend KATEK_API String_t operator+(const char* narrow, const String_t& text);

    // Equality compares the units exactly; the null text equals the empty one.
    bool operator==(const String_t& other) const { return units_ == other.units_; }
    bool operator!=(const String_t& other) const { return !(*this == other); }
    bool operator==(const char* narrow) const;
    bool operator!=(const char* narrow) const { return !(*this == narrow); }
    // Orders by code unit, shorter prefix first.
    bool operator<(const String_t& other) const { return units_ < other.units_; }

    String_t& Append(const char* narrow);
    String_t& Append(UTF16CodePoint_t unit);

    // Replace and Delete work on the units [start, end); end may equal the length.
    String_t& Replace(uint32_t start, uint32_t end, const String_t& with);
    String_t& Replace(uint32_t start, uint32_t end, const char* with);
    String_t& Replace(uint32_t start, uint32_t end, UTF16CodePoint_t with);
    String_t& Delete(uint32_t start, uint32_t end);
    String_t& SetAt(uint32_t index, UTF16CodePoint_t unit);

    String_t& Trim();                     // strips blanks (space, tab, CR, LF, VT, FF) at both ends
    String_t ToLower() const;             // the platform's case mapping (LCMapStringEx, invariant)
    String_t Right(uint32_t count) const; // the last count units, or the whole text

    // Find answers the index of the first match of what in [start, end), or npos.
    // end == npos means "to the end". ignoreCase false matches exactly; true folds
    // letter case with the platform's case mapping.
    uint32_t Find(const String_t& what, uint32_t start = 0, uint32_t end = npos,
                  bool ignoreCase = false) const;

    // No implicit conversion to a pointer: it would drop the length, and with it everything
    // after a NUL, and could point into a temporary that is already gone.
    const wchar_t* c_str() const { return units_.c_str(); }
    const std::wstring& Std() const { return units_; }

private:
    void CheckRange(uint32_t start, uint32_t end) const;

    std::wstring units_;
    bool isNull_ = false;
};

KATEK_API String_t NumToStr(int value);
KATEK_API String_t NumToStr(long long value);
KATEK_API String_t NumToStr(unsigned int value);
KATEK_API String_t NumToStr(unsigned long value); // DWORD
KATEK_API String_t NumToStr(unsigned long long value);

enum Encoding_e { ENC_ANSI = 0, ENC_UTF8 = 1 };

// MBS_t is a narrow copy of a text in the given encoding; ENC_ANSI (0) is the process's
// ANSI code page, in which ASCII round-trips unchanged and characters the code page
// cannot hold become its default character: never a look-alike (no best fit), so a
// fullwidth "\" or ";" cannot turn into ASCII syntax on the way.
class KATEK_API MBS_t {
public:
    MBS_t(const String_t& text, Encoding_e encoding);
    const char* c_str() const { return bytes_.c_str(); }
    operator const char*() const { return bytes_.c_str(); }
    size_t size() const { return bytes_.size(); }

private:
    std::string bytes_;
};

// Narrow/wide conversions of the runtime, for the other KaTek parts and KaLnk.
KATEK_API std::wstring WidenAnsi(const std::string& narrow);
KATEK_API std::wstring WidenUtf8(const std::string& utf8);
// TryWidenStrictUtf8 converts valid UTF-8 only: false for an invalid, overlong, truncated or
// surrogate sequence, where WidenUtf8 would put U+FFFD without a word.
KATEK_API bool TryWidenStrictUtf8(std::string_view utf8, std::wstring& wide);
KATEK_API std::string NarrowUtf8(const std::wstring& wide);

} // namespace KaTekStr
