#include "KacutilRun.h"

#include "Sandbox.h"
#include "Standin.h"

namespace KaTest {

KacutilResult RunKacutil(const std::vector<std::wstring>& args, unsigned timeoutMs) {
    std::vector<KaTekStr::String_t> arguments(args.begin(), args.end());
    KaTekCmd::Command_t command(KaTekStr::String_t(ProgramDir() + L"kacutil.exe"), arguments);
    command.Start();
    KacutilResult result;
    bool ended = command.Wait(timeoutMs);
    if (ended) {
        result.exitCode = static_cast<int>(command.GetExitCode());
    }
    for (char c : Utf8(command.GetOutput().Std())) {
        if (c != '\r') {
            result.output += c;
        }
    }
    return result;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t feed = text.find('\n', start);
        if (feed == std::string::npos) {
            feed = text.size();
        }
        lines.push_back(text.substr(start, feed - start));
        start = feed + 1;
    }
    return lines;
}

std::string SlashPath(const std::wstring& path) {
    std::string text = Utf8(path);
    for (char& c : text) {
        if (c == '\\') {
            c = '/';
        }
    }
    return text;
}

} // namespace KaTest
