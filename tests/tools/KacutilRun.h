// Runs kacutil.exe, built beside the test program, as a child on the test's sandbox and
// checks its exit code and its whole output (standard output and error) against a pattern.
#pragma once

#include <gtest/gtest.h>

#include "Sandbox.h"
#include "Standin.h"

#include <algorithm>
#include <tuple>

namespace KaTest {

// '*' stands for any text (line ends too), '%' for one digit, any other character for itself.
inline bool Glob(const char* pattern, const char* text) {
    if (*pattern == '*') {
        return Glob(pattern + 1, text) || (*text != '\0' && Glob(pattern, text + 1));
    }
    bool same = *pattern == '%' ? *text >= '0' && *text <= '9' : *pattern == *text;
    return *pattern == '\0' ? *text == '\0' : same && Glob(pattern + 1, text + 1);
}

// Arguments, exit code, and a pattern for Glob of the output, "\r\n" written "\n" and a
// NUL as the two characters \0.
using KacutilCase = std::tuple<std::vector<std::wstring>, int, std::string>;

// A failure is one line on standard error: what went wrong, exit code 1.
inline KacutilCase Failure(const std::vector<std::wstring>& args, const std::string& what) {
    return {args, 1, "kacutil " + Utf8(args.front()) + ": " + what + "\n"};
}

// A usage error also names the command's help, exit code 2.
inline KacutilCase Usage(const std::vector<std::wstring>& args, const std::string& what) {
    std::string name = Utf8(args.front());
    return {args, 2, "kacutil " + name + ": " + what + " (kacutil " + name + " --help)\n"};
}

// Runs and checks each case in turn.
inline void ExpectKacutil(const std::vector<KacutilCase>& cases) {
    for (const auto& [argv, exitCode, pattern] : cases) {
        SCOPED_TRACE("expected output: " + pattern);
        std::vector<KaTekStr::String_t> args(argv.begin(), argv.end());
        KaTekCmd::Command_t command(KaTekStr::String_t(ProgramDir() + L"kacutil.exe"), args);
        command.Start();
        command.Wait(60000);
        std::string output;
        for (char c : Utf8(command.GetOutput().Std())) {
            output += c == '\0' ? std::string("\\0") : c == '\r' ? "" : std::string(1, c);
        }
        EXPECT_EQ(static_cast<int>(command.GetExitCode()), exitCode) << output;
        EXPECT_TRUE(Glob(pattern.c_str(), output.c_str())) << output;
    }
}

} // namespace KaTest
