// Command lines written so that CommandLineToArgvW and the C runtime read them back as they
// were given. No platform call: the runtime's child commands, the stand-in's service and the
// tests' child modes all build their command lines here.
#pragma once

#include <string>
#include <vector>

namespace KaCommon {

// QuoteArgument answers argument as one argument of a command line: unchanged when it is
// not empty and holds no blank, tab, line feed, vertical tab or quote; else in quotes, where
// backslashes are literal except before a quote (the closing one included), where each is
// doubled and a quote of the argument gets one more as its escape.
inline std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        return argument;
    }
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t unit : argument) {
        if (unit == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(unit == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        quoted += unit;
        backslashes = 0;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L'"';
}

// QuoteCommandLine answers program and arguments as one command line. The program is read by
// simpler rules (up to the next quote, without escapes), so it goes in quotes as a whole and
// must hold no quote itself; the caller refuses such a program. Quoted even without blanks:
// the service manager reads an unquoted program up to its first blank.
inline std::wstring QuoteCommandLine(const std::wstring& program,
                                     const std::vector<std::wstring>& arguments) {
    std::wstring line = L"\"" + program + L"\"";
    for (const std::wstring& argument : arguments) {
        line += L' ' + QuoteArgument(argument);
    }
    return line;
}

} // namespace KaCommon
