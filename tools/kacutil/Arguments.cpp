// Argument checks shared by every command, and the narrow text of arguments that library calls
// take as char*.
#include "Kacutil.h"

#include <algorithm>

namespace Kacutil {

namespace {

bool AllDigits(const std::wstring& text, bool hex) {
    for (wchar_t c : text) {
        bool digit = (c >= L'0' && c <= L'9') ||
                     (hex && ((c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F')));
        if (!digit) {
            return false;
        }
    }
    return !text.empty();
}

// The value of digits in base, or false once it passes limit: however many digits a hostile
// caller types, the number is refused as out of range, never wrapped or thrown about.
bool ValueUpTo(const std::wstring& digits, int base, unsigned long long limit,
               unsigned long long& value) {
    value = 0;
    for (wchar_t c : digits) {
        unsigned digit = c <= L'9' ? c - L'0' : (c | 0x20) - L'a' + 10;
        if (digit > limit || value > (limit - digit) / static_cast<unsigned>(base)) {
            return false;
        }
        value = value * static_cast<unsigned>(base) + digit;
    }
    return true;
}

} // namespace

void ExpectCount(const Args& args, size_t count) {
    if (args.size() < count) {
        throw UsageError("missing argument (" + std::to_string(count) + " expected, " +
                         std::to_string(args.size()) + " given)");
    }
    if (args.size() > count) {
        throw UsageError("unexpected argument " + Quoted(args[count]));
    }
}

unsigned long ParseUnsigned(const std::wstring& text, const char* what) {
    bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    std::wstring digits = hex ? text.substr(2) : text;
    // std::stoull alone would take blanks, signs and trailing junk.
    if (!AllDigits(digits, hex)) {
        throw UsageError(std::string("bad ") + what + " " + Quoted(text));
    }
    unsigned long long value = 0;
    if (!ValueUpTo(digits, hex ? 16 : 10, 0xFFFFFFFFull, value)) {
        throw UsageError(std::string(what) + " out of range " + Quoted(text));
    }
    return static_cast<unsigned long>(value);
}

long long ParseSigned(const std::wstring& text, long long min, long long max, const char* what) {
    bool negative = !text.empty() && text[0] == L'-';
    std::wstring digits = negative ? text.substr(1) : text;
    if (!AllDigits(digits, false)) {
        throw UsageError(std::string("bad ") + what + " " + Quoted(text));
    }
    // Digits worth more than the larger end of the range are out of it, however many.
    unsigned long long limit = std::max(static_cast<unsigned long long>(std::max(max, 0LL)),
                                        0ULL - static_cast<unsigned long long>(std::min(min, 0LL)));
    unsigned long long magnitude = 0;
    bool fits = ValueUpTo(digits, 10, limit, magnitude);
    long long value = static_cast<long long>(negative ? 0ULL - magnitude : magnitude);
    if (!fits || value < min || value > max) {
        throw UsageError(std::string(what) + " out of range " + Quoted(text) + " (" +
                         std::to_string(min) + " to " + std::to_string(max) + ")");
    }
    return value;
}

Request DataRequest(const Args& args) {
    Request request;
    for (const std::wstring& arg : args) {
        if (arg == L"--json") {
            request.json = true;
        } else {
            request.args.push_back(arg);
        }
    }
    return request;
}

std::string AnsiText(const std::wstring& text, const char* what) {
    if (text.empty()) {
        return std::string();
    }
    // The runtime's own conversion: no best fit, and the flags each code page takes.
    KaTekStr::MBS_t narrow(KaTekStr::String_t(text), KaTekStr::ENC_ANSI);
    std::string bytes(narrow.c_str(), narrow.size());
    // Only what reads back as the same text was carried: a default character in place of one
    // the code page lacks reads back as something else.
    if (KaTekStr::WidenAnsi(bytes) != text) {
        const UINT codePage = ::GetACP();
        throw UsageError(std::string(what) + " " + Quoted(text) +
                         " cannot be given in the ANSI code page " + std::to_string(codePage) +
                         ", which the library call takes");
    }
    return bytes;
}

} // namespace Kacutil
