// settings_bench: figures for reading the settings file with 10,000 and 100,000 attributes
// in the namespace asked for. The 100,000/10,000 ratio shows whether reading grows
// linearly (about 10) or worse.
#include "KaTek.h"
#include "BestMs.h"
#include "Sandbox.h"

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

} // namespace

int main() {
    KaTest::Sandbox sandbox;
    const double small = ReadMs(sandbox, 10000), large = ReadMs(sandbox, 100000);
    std::printf("ratio 100,000/10,000: %.1f (target at most 12)\n", large / small);
}
