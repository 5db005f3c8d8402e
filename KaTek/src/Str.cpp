// KaTek runtime: texts and their narrow/wide conversions.
#include "KaTek/Msg.h"
#include "KaTek/Str.h"

#include "CodePages.h"

#include <windows.h>

#include <climits>
#include <string>
#include <string_view>
#include <utility>

namespace KaTekStr {

namespace {

// The platform calls take int lengths; a longer text cannot be converted in one call.
int CheckedLength(size_t length) {
    if (length > static_cast<size_t>(INT_MAX)) {
        KaTekMsg::ThrowRuntime(KaTekMsg::MSG_TEXT_CONVERT,
                               {String_t("text too long to convert in one call")});
    }
    return static_cast<int>(length);
}

[[noreturn]] void ThrowConversion(DWORD error) {
    KaTekMsg::ThrowRuntime(KaTekMsg::MSG_TEXT_CONVERT, {KaTekMsg::SystemErrorText(error)});
}

// Converts narrow to UTF-16, or answers false with the platform's error code.
bool TryWiden(UINT codePage, DWORD flags, std::string_view narrow, std::wstring& wide,
              DWORD& error) {
    wide.clear();
    if (narrow.empty()) {
        return true;
    }
    const int inLength = CheckedLength(narrow.size());
    const int needed = MultiByteToWideChar(codePage, flags, narrow.data(), inLength, nullptr, 0);
    if (needed <= 0) {
        error = GetLastError();
        return false;
    }
    wide.assign(static_cast<size_t>(needed), L'\0');
    const int written =
        MultiByteToWideChar(codePage, flags, narrow.data(), inLength, &wide[0], needed);
    if (written <= 0) {
        error = GetLastError();
        return false;
    }
    wide.resize(static_cast<size_t>(written));
    return true;
}

std::wstring Widen(UINT codePage, const std::string& narrow) {
    std::wstring wide;
    DWORD error = 0;
    if (!TryWiden(codePage, 0, narrow, wide, error)) {
        ThrowConversion(error);
    }
    return wide;
}

// The page a conversion really uses: CP_ACP stands for the process's ANSI code page, which an
// activeCodePage manifest or the system's UTF-8 option may have made UTF-8.
UINT ResolvePage(UINT codePage) {
    return codePage == CP_ACP ? GetACP() : codePage;
}

std::string Narrow(UINT codePage, const std::wstring& wide) {
    if (wide.empty()) {
        return std::string();
    }
    const UINT page = ResolvePage(codePage);
    CPINFO info = {};
    if (!GetCPInfo(page, &info)) {
        ThrowConversion(GetLastError());
    }
    // No unit takes more than MaxCharSize bytes (a surrogate pair, two units, takes at most
    // four), so the converting pass always fits; a sizing pass first could answer less than
    // that pass writes, as "no best fit" sizing has been seen to.
    const int inLength = CheckedLength(wide.size());
    const int capacity = CheckedLength(wide.size() * info.MaxCharSize);
    std::string narrow(static_cast<size_t>(capacity), '\0');
    const int written = WideCharToMultiByte(page, NarrowingFlags(page), wide.data(), inLength,
                                            &narrow[0], capacity, nullptr, nullptr);
    if (written <= 0) {
        ThrowConversion(GetLastError());
    }
    narrow.resize(static_cast<size_t>(written));
    // A copy that lives on (a setting's value) need not keep the room of the worst case.
    narrow.shrink_to_fit();
    return narrow;
}

std::wstring ToLowerCase(const std::wstring& units) {
    if (units.empty()) {
        return units;
    }
    const int inLength = CheckedLength(units.size());
    const int needed = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, units.data(), inLength,
                                     nullptr, 0, nullptr, nullptr, 0);
    if (needed <= 0) {
        ThrowConversion(GetLastError());
    }
    std::wstring lower(static_cast<size_t>(needed), L'\0');
    const int written = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_LOWERCASE, units.data(),
                                      inLength, &lower[0], needed, nullptr, nullptr, 0);
    if (written <= 0) {
        ThrowConversion(GetLastError());
    }
    lower.resize(static_cast<size_t>(written));
    return lower;
}

} // namespace

std::wstring WidenAnsi(const std::string& narrow) {
    return Widen(CP_ACP, narrow);
}
std::wstring WidenUtf8(const std::string& utf8) {
    return Widen(CP_UTF8, utf8);
}
bool TryWidenStrictUtf8(std::string_view utf8, std::wstring& wide) {
    DWORD error = 0;
    return TryWiden(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, wide, error);
}
std::string NarrowUtf8(const std::wstring& wide) {
    return Narrow(CP_UTF8, wide);
}

String_t::String_t(const char* narrow) : isNull_(narrow == nullptr) {
    if (narrow != nullptr) {
        units_ = WidenAnsi(narrow);
    }
}

String_t::String_t(const wchar_t* wide) : isNull_(wide == nullptr) {
    if (wide != nullptr) {
        units_ = wide;
    }
}

String_t::String_t(const wchar_t* wide, uint32_t units) : isNull_(wide == nullptr) {
    if (wide != nullptr) {
        units_.assign(wide, units);
    }
}

String_t::String_t(UTF16CodePoint_t unit) : units_(1, unit.unit) {}

String_t::String_t(const std::wstring& wide) : units_(wide) {}

String_t::String_t(std::wstring&& wide) : units_(std::move(wide)) {}

String_t String_t::Null() {
    String_t text;
    text.isNull_ = true;
    return text;
}

// Joining keeps the null mark only when both sides are null: anything added makes a text.
String_t& String_t::operator+=(const String_t& other) {
    units_ += other.units_;
    isNull_ = isNull_ && other.isNull_;
    return *this;
}

String_t& String_t::operator+=(const char* narrow) {
    return *this += String_t(narrow);
}

String_t String_t::operator+(const String_t& other) const {
    String_t joined(*this);
    joined += other;
    return joined;
}

String_t String_t::operator+(const char* narrow) const {
    return *this + String_t(narrow);
}

String_t operator+(const char* narrow, const String_t& text) {
    return String_t(narrow) + text;
}

bool String_t::operator==(const char* narrow) const {
    return *this == String_t(narrow);
}

String_t& String_t::Append(const char* narrow) {
    return *this += narrow;
}

String_t& String_t::Append(UTF16CodePoint_t unit) {
    return *this += String_t(unit);
}

void String_t::CheckRange(uint32_t start, uint32_t end) const {
    if (start > end || end > GetLength()) {
        KaTekMsg::ThrowRuntime(KaTekMsg::MSG_RANGE,
                               {NumToStr(start), NumToStr(end), NumToStr(GetLength())});
    }
}

String_t& String_t::Replace(uint32_t start, uint32_t end, const String_t& with) {
    CheckRange(start, end);
    units_.replace(start, end - start, with.units_);
    isNull_ = false;
    return *this;
}

String_t& String_t::Replace(uint32_t start, uint32_t end, const char* with) {
    return Replace(start, end, String_t(with));
}

String_t& String_t::Replace(uint32_t start, uint32_t end, UTF16CodePoint_t with) {
    return Replace(start, end, String_t(with));
}

String_t& String_t::Delete(uint32_t start, uint32_t end) {
    CheckRange(start, end);
    units_.erase(start, end - start);
    return *this;
}

String_t& String_t::SetAt(uint32_t index, UTF16CodePoint_t unit) {
    // index + 1 would wrap for the largest index, so the unit's own range is checked apart.
    if (index >= GetLength()) {
        KaTekMsg::ThrowRuntime(KaTekMsg::MSG_RANGE,
                               {NumToStr(index), NumToStr(index) + "+1", NumToStr(GetLength())});
    }
    units_[index] = unit.unit;
    return *this;
}

String_t& String_t::Trim() {
    size_t first = 0;
    while (first < units_.size() && IsBlank(units_[first])) {
        ++first;
    }
    size_t last = units_.size();
    while (last > first && IsBlank(units_[last - 1])) {
        --last;
    }
    units_ = units_.substr(first, last - first);
    return *this;
}

String_t String_t::ToLower() const {
    String_t lower(*this);
    lower.units_ = ToLowerCase(units_);
    return lower;
}

String_t String_t::Right(uint32_t count) const {
    if (count >= GetLength()) {
        return *this;
    }
    return String_t(units_.substr(units_.size() - count));
}

// Find reads, never writes: a start past the end, or an empty window, finds nothing and an
// end past the text means "to the end", so no range given to it can reach outside the text.
uint32_t String_t::Find(const String_t& what, uint32_t start, uint32_t end, bool ignoreCase) const {
    const size_t windowEnd = end > GetLength() ? units_.size() : end;
    if (start > windowEnd || what.units_.size() > windowEnd - start) {
        return npos;
    }
    // The exact search looks at the window in place: callers loop over Find, and a copy per
    // call would make them quadratic. The case-blind search lower-cases copies of the window
    // and of the text sought, so each call costs the window's length in memory and time.
    std::wstring_view window(units_.data() + start, windowEnd - start);
    const size_t found = ignoreCase
                             ? ToLowerCase(std::wstring(window)).find(ToLowerCase(what.units_))
                             : window.find(what.units_);
    return found == std::wstring::npos ? npos : static_cast<uint32_t>(start + found);
}

String_t NumToStr(int value) {
    return String_t(std::to_wstring(value));
}
String_t NumToStr(long long value) {
    return String_t(std::to_wstring(value));
}
String_t NumToStr(unsigned int value) {
    return String_t(std::to_wstring(value));
}
String_t NumToStr(unsigned long value) {
    return String_t(std::to_wstring(value));
}
String_t NumToStr(unsigned long long value) {
    return String_t(std::to_wstring(value));
}

MBS_t::MBS_t(const String_t& text, Encoding_e encoding)
    : bytes_(Narrow(encoding == ENC_UTF8 ? CP_UTF8 : CP_ACP, text.Std())) {}

} // namespace KaTekStr
