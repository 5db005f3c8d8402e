// env_bench: figures for AvoidDuplicate on long lists and for AppendEnvVariable with many
// configured variables. Prints times; the 100,000/10,000 ratio shows whether cleaning
// grows linearly (about 10) or worse.
#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
using KaTekStr::String_t;

// count entries, half of them repeats of earlier ones in other letter case and slash
// direction, interleaved as a grown search path would hold them.
String_t PathList(int count) {
    std::wstring list;
    for (int index = 0; index < count; ++index) {
        const int n = index / 2;
        const std::wstring entry = index % 2 == 0
                                       ? L"C:\\Program Files\\Tool" + std::to_wstring(n) + L"\\bin"
                                       : L"c:/program files/TOOL" + std::to_wstring(n) + L"/BIN";
        list += (index ? L";" : L"") + entry;
    }
    return String_t(list);
}

// The best of a few runs, in milliseconds: the machine is shared, so the least disturbed
// run is the best estimate of the work itself.
template <typename Work> double BestMs(int runs, Work work) {
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point start = Clock::now();
        work();
        best =
            std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return best;
}

double CleanMs(int count) {
    const String_t list = PathList(count);
    size_t kept = 0;
    const double ms = BestMs(5, [&] { kept = KaCtrl::AvoidDuplicate(list).GetLength(); });
    std::printf("AvoidDuplicate %7d entries: %9.2f ms (%zu units kept)\n", count, ms, kept);
    return ms;
}

std::string ManyVariables(int count) {
    std::string base = "[ctrl.env]\n";
    std::string append = "[ctrl.env.append]\n";
    for (int index = 0; index < count; ++index) {
        const std::string name = "KA_BENCH_" + std::to_string(index);
        base += name + "=C:\\Base\\" + std::to_string(index) + ";D:\\Shared\n";
        append += name + "=d:/shared;E:\\Extra\\" + std::to_string(index) + "\n";
    }
    return base + append;
}

void AppendFigures(int count) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings(ManyVariables(count));
    const double readMs = BestMs(3, [] { KaTekConfig::ConfigNamespace_t("ctrl.env").Open(); });
    const double commandMs = BestMs(3, [] {
        KaTekCmd::Command_t command(String_t("unused.exe"), {});
        KaCtrl::AppendEnvVariable(true, command);
    });
    const double processMs =
        BestMs(3, [] { KaCtrl::AppendEnvVariable(true, KaTekCmd::Command_t()); });
    std::printf("AppendEnvVariable %d variables: %.2f ms into a command, %.2f ms into the "
                "process\n",
                count, commandMs, processMs);
    // What reading "ctrl.env" once per variable instead of once per call would add.
    std::printf("one read of the settings: %.2f ms (x %d = %.0f ms)\n", readMs, count,
                readMs * count);
}

} // namespace

int main() {
    const double small = CleanMs(10000);
    const double large = CleanMs(100000);
    std::printf("ratio 100,000/10,000: %.1f (target at most 15)\n", large / small);
    AppendFigures(1000);
    return 0;
}
