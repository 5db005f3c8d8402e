// Runs kacutil.exe, built beside the test program, as a child and collects what it says.
#pragma once

#include <string>
#include <vector>

namespace KaTest {

struct KacutilResult {
    int exitCode = -1;  // -1: did not end in time
    std::string output; // standard output and error together, UTF-8, "\r\n" made "\n"
};

KacutilResult RunKacutil(const std::vector<std::wstring>& args, unsigned timeoutMs = 60000);

// The lines of text without their line ends; a final line end makes no empty line.
std::vector<std::string> Lines(const std::string& text);

// path with backslashes made slashes, in UTF-8: how the library writes resolved paths.
std::string SlashPath(const std::wstring& path);

} // namespace KaTest
