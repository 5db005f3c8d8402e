// env_bench: figures for AvoidDuplicate on long lists and for AppendEnvVariable with many
// configured variables. Prints times; the 100,000/10,000 ratio shows whether cleaning
// grows linearly (about 10) or worse.
#include "KaCtrlUtils.h"
#include "BestMs.h"
#include "Sandbox.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using KaBench::BestMs;
using KaTekStr::String_t;

// count entries, every second one a repeat of the one before in other letter case and
// slash direction, as a grown search path holds them.
std::wstring PathList(int count) {
    std::wstring list;
    for (int pair = 0; pair < count / 2; ++pair) {
        const std::wstring n = std::to_wstring(pair);
        list += L";C:\\Program Files\\Tool" + n + L"\\bin;c:/program files/TOOL" + n + L"/BIN";
    }
    return list;
}

double CleanMs(int count) {
    const double ms = BestMs([text = String_t(PathList(count))] { KaCtrl::AvoidDuplicate(text); });
    std::printf("AvoidDuplicate %7d entries: %9.2f ms\n", count, ms);
    return ms;
}

// The plain baseline: the same entries, already lower-cased and with one slash direction,
// put into a hash set of texts.
double BaselineMs(int count) {
    std::wstring list = String_t(PathList(count)).ToLower().Std();
    std::replace(list.begin(), list.end(), L'\\', L'/');
    std::vector<std::wstring> entries;
    for (size_t start = 0, end = 0; start < list.size(); start = end + 1) {
        end = std::min(list.find(L';', start), list.size());
        entries.emplace_back(list, start, end - start);
    }
    const double ms = BestMs([&entries] {
        std::unordered_set<std::wstring> seen;
        for (const std::wstring& entry : entries) {
            seen.insert(entry);
        }
    });
    std::printf("unordered_set  %7d entries: %9.2f ms\n", count, ms);
    return ms;
}

} // namespace

int main() {
    const double small = CleanMs(10000), large = CleanMs(100000);
    std::printf("ratio 100,000/10,000: %.1f (target at most 15)\n", large / small);
    std::printf("ratio to the unordered_set baseline at 100,000: %.2f (target at most 3)\n",
                large / BaselineMs(100000));

    KaTest::Sandbox sandbox;
    std::string base = "[ctrl.env]\n", append = "[ctrl.env.append]\n";
    for (int index = 0; index < 1000; ++index) {
        const std::string n = std::to_string(index);
        base += "KA_BENCH_" + n + "=C:\\Base\\" + n + ";D:\\Shared\n";
        append += "KA_BENCH_" + n + "=d:/shared;E:\\Extra\\" + n + "\n";
    }
    sandbox.WriteSettings(base + append);
    const double commandMs = BestMs(
        [] { KaCtrl::AppendEnvVariable(true, KaTekCmd::Command_t(String_t("unused.exe"), {})); });
    const double processMs = BestMs([] { KaCtrl::AppendEnvVariable(true, KaTekCmd::Command_t()); });
    // What reading "ctrl.env" once per variable instead of once per call would add.
    const double readMs = BestMs([] { KaTekConfig::ConfigNamespace_t("ctrl.env").Open(); });
    std::printf("AppendEnvVariable, 1000 variables: %.2f ms into a command, %.2f ms into the "
                "process; one read of the settings %.2f ms (x 1000 = %.0f ms)\n",
                commandMs, processMs, readMs, readMs * 1000);
}
