// Argument checks and output shared by every command.
#include "Kacutil.h"

#include <algorithm>
#include <cstdio>

namespace Kacutil {

namespace {

std::string Quoted(const std::wstring& text) {
    return "'" + Narrow(text) + "'";
}

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

std::string Narrow(const std::wstring& text) {
    return Narrow(String_t(text));
}

std::string Narrow(const wchar_t* text) {
    return Narrow(String_t(text));
}

std::string Narrow(const String_t& text) {
    // By size, not up to the first NUL: a child's output may hold NULs and is shown whole.
    KaTekStr::MBS_t bytes(text, KaTekStr::ENC_ANSI);
    return std::string(bytes.c_str(), bytes.size());
}

void Print(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
}

void Print(const String_t& line) {
    Print(Narrow(line));
}

void Print(const char* line) {
    Print(std::string(line));
}

void PrintRaw(const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
}

std::string OneLine(const KaTekMsg::MessageList_t& messages) {
    std::string text;
    // System texts inside a message may end their own lines; one line is what scripts read.
    for (char c : Narrow(messages.Format(KaTekMsg::FMT_LINES))) {
        if (c == '\n') {
            text += "; ";
        } else if (c != '\r') {
            text += c;
        }
    }
    return text;
}

} // namespace Kacutil
