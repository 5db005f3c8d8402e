// settings_bench: figures for reading the settings file with 10,000 and 100,000 attributes
// in the namespace asked for. The 100,000/10,000 ratio shows whether reading grows
// linearly (about 10) or worse. First, the file of blank lines after the namespace's
// header, as large as a settings file may be: it holds no attribute, so its memory is the
// bytes and their UTF-16 units, about three times the file, and nothing per line.
#include "KaTek.h"
#include "BestMs.h"
#include "Sandbox.h"

#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

using KaBench::BestMs;

// count attributes in the namespace read, every tenth a later value of an earlier key, and
// as many in another namespace, which are parsed but not kept.
double ReadMs(const KaTest::Sandbox& sandbox, int count) {
    std::string wanted = "[ctrl.env]\n", other = "[other]\n";
    for (int index = 0; index < count; ++index) {
        const std::string key = "KA_VAR_" + std::to_string(index % 10 == 9 ? index / 2 : index);
        wanted += key + "=C:\\Program Files\\Tool" + std::to_string(index) + "\\bin\n";
        other += key + "=x\n";
    }
    sandbox.WriteSettings(wanted + other);
    // Many runs: the small file reads in a few milliseconds, where one disturbance counts.
    const double ms = BestMs([] { KaTekConfig::ConfigNamespace_t("ctrl.env").Open(); }, 20);
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

void BlankLines(const KaTest::Sandbox& sandbox) {
    const size_t blank = (64u << 20) - 16;
    sandbox.WriteSettings("[ctrl.env]\n" + std::string(blank, '\n'));
    const double ms = BestMs([] { KaTekConfig::ConfigNamespace_t("ctrl.env").Open(); }, 3);
    std::printf("settings read, %zu blank lines: %9.2f ms, peak working set %.0f MiB\n", blank, ms,
                PeakWorkingSetMiB());
}

} // namespace

int main() {
    KaTest::Sandbox sandbox;
    BlankLines(sandbox);
    const double small = ReadMs(sandbox, 10000), large = ReadMs(sandbox, 100000);
    std::printf("ratio 100,000/10,000: %.1f (target at most 12)\n", large / small);
}
