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

namespace {

// The code pages whose conversions take no flags at all: those WideCharToMultiByte documents
// (ISO-2022, ISCII, UTF-7, Symbol), and HZ and GB18030, which refuse flags as well. Without
// the no-best-fit flag the read-back below still refuses any look-alike.
bool TakesNoFlags(UINT codePage) {
    return (codePage >= 50220 && codePage <= 50229) || (codePage >= 57002 && codePage <= 57011) ||
           codePage == CP_UTF7 || codePage == 42 || codePage == 52936 || codePage == 54936;
}

// Narrow answers text in codePage, or the empty text when a character does not convert. No
// best fit: a fullwidth "\" must not become a path separator on the way.
std::string Narrow(UINT codePage, const std::wstring& text) {
    DWORD flags = TakesNoFlags(codePage) ? 0
                  : codePage == CP_UTF8  ? WC_ERR_INVALID_CHARS
                                         : WC_NO_BEST_FIT_CHARS;
    // No code page takes more than four bytes for one UTF-16 unit. Sized so, not by a sizing
    // call, which with WC_NO_BEST_FIT_CHARS can answer less than the conversion then needs.
    std::string bytes(text.size() * 4, '\0');
    int written =
        ::WideCharToMultiByte(codePage, flags, text.data(), static_cast<int>(text.size()),
                              &bytes[0], static_cast<int>(bytes.size()), nullptr, nullptr);
    bytes.resize(written > 0 ? static_cast<size_t>(written) : 0);
    return bytes;
}

// Widen answers bytes read back from codePage, or the empty text when they do not convert.
std::wstring Widen(UINT codePage, const std::string& bytes) {
    DWORD flags = TakesNoFlags(codePage) ? 0 : MB_ERR_INVALID_CHARS;
    std::wstring text(bytes.size(), L'\0');
    int read = ::MultiByteToWideChar(codePage, flags, bytes.data(), static_cast<int>(bytes.size()),
                                     &text[0], static_cast<int>(text.size()));
    text.resize(read > 0 ? static_cast<size_t>(read) : 0);
    return text;
}

} // namespace

std::string AnsiText(const std::wstring& text, const char* what) {
    // Longer than any command line can be; keeps the sizes below within an int.
    const size_t kLongest = 32767;
    if (text.empty()) {
        return std::string();
    }
    if (text.size() > kLongest) {
        throw UsageError(std::string(what) + " too long");
    }
    UINT codePage = ::GetACP();
    std::string bytes = Narrow(codePage, text);
    // Only what reads back as the same text was carried: a default character or a best fit
    // would read back as something else.
    if (bytes.empty() || Widen(codePage, bytes) != text) {
        throw UsageError(std::string(what) + " " + Quoted(text) +
                         " cannot be given in the ANSI code page " + std::to_string(codePage) +
                         ", which the library call takes");
    }
    return bytes;
}

} // namespace Kacutil
