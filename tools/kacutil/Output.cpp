// Argument checks and output shared by every command.
#include "Kacutil.h"

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
    if (!AllDigits(digits, hex) || digits.size() > 20) {
        throw UsageError(std::string("bad ") + what + " " + Quoted(text));
    }
    unsigned long long value = std::stoull(digits, nullptr, hex ? 16 : 10);
    if (value > 0xFFFFFFFFull) {
        throw UsageError(std::string(what) + " out of range " + Quoted(text));
    }
    return static_cast<unsigned long>(value);
}

long long ParseSigned(const std::wstring& text, long long min, long long max, const char* what) {
    bool negative = !text.empty() && text[0] == L'-';
    std::wstring digits = negative ? text.substr(1) : text;
    if (!AllDigits(digits, false) || digits.size() > 18) {
        throw UsageError(std::string("bad ") + what + " " + Quoted(text));
    }
    long long value = std::stoll(digits) * (negative ? -1 : 1);
    if (value < min || value > max) {
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
    return KaTekStr::MBS_t(text, KaTekStr::ENC_ANSI).c_str();
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
