// settings_bench: figures for reading the settings file (a parse, not a lookup of the parse
// the configuration keeps) with 10,000 and 100,000 attributes in one namespace. The 100,000/10,000
// ratio shows whether reading grows linearly (about 10) or worse. First, the file of blank lines
// after the namespace's header, as large as a settings file may be: it holds no attribute, so its
// memory is the bytes and their UTF-16 units, about three times the file, and nothing per line.
#include "KaTek.h"
#include "SettingsFile.h"
#include "BestMs.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using KaBench::BestMs;

// A settings file of the bench's own in the system's temporary directory; the parse is read
// from the runtime's core, so the bench shares no sandbox with the tests' helpers.
class SettingsFile {
public:
    SettingsFile()
        : path_((std::filesystem::temp_directory_path() /
                 ("ka-settings-bench-" + std::to_string(::GetCurrentProcessId()) + ".ini"))
                    .wstring()) {}
    ~SettingsFile() { std::filesystem::remove(path_); }
    void Write(const std::string& text) const {
        std::ofstream(std::filesystem::path(path_), std::ios::binary | std::ios::trunc) << text;
    }
    KaTekStr::String_t Path() const { return KaTekStr::String_t(path_); }

private:
    std::wstring path_;
};

// count attributes in one namespace, every tenth a later value of an earlier key, and as many
// in another namespace.
double ReadMs(const SettingsFile& settings, int count) {
    std::string wanted = "[ctrl.env]\n", other = "[other]\n";
    for (int index = 0; index < count; ++index) {
        const std::string key = "KA_VAR_" + std::to_string(index % 10 == 9 ? index / 2 : index);
        wanted += key + "=C:\\Program Files\\Tool" + std::to_string(index) + "\\bin\n";
        other += key + "=x\n";
    }
    settings.Write(wanted + other);
    // Many runs: the small file reads in a few milliseconds, where one disturbance counts.
    const KaTekStr::String_t path = settings.Path();
    const double ms = BestMs([&path] { KaTekConfig::ReadSettingsFile(path); }, 20);
    std::printf("settings read, %7d attributes: %9.2f ms\n", count, ms);
    return ms;
}

double PeakWorkingSetMiB() {
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    if (!K32GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) {
        return -1;
    }
    return static_cast<double>(counters.PeakWorkingSetSize) / (1 << 20);
}

void BlankLines(const SettingsFile& settings) {
    const size_t blank = (64u << 20) - 16;
    settings.Write("[ctrl.env]\n" + std::string(blank, '\n'));
    const KaTekStr::String_t path = settings.Path();
    const double ms = BestMs([&path] { KaTekConfig::ReadSettingsFile(path); }, 3);
    std::printf("settings read, %zu blank lines: %9.2f ms, peak working set %.0f MiB\n", blank, ms,
                PeakWorkingSetMiB());
}

} // namespace

int main() {
    const SettingsFile settings;
    BlankLines(settings);
    const double small = ReadMs(settings, 10000), large = ReadMs(settings, 100000);
    std::printf("ratio 100,000/10,000: %.1f (target at most 12)\n", large / small);
}
