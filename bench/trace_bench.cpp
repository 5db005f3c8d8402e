// trace_bench: what an untraced trace point costs. While its area is untraced, a trace point
// asks the runtime again each time; the runtime reads the settings file's "tek.trace" again
// only once the file has changed, and otherwise only queries the file's attributes. Printed
// for settings files of several sizes: a read of the namespace (the cost of a point before
// that, and after each change), an untraced point on an unchanged file, the attribute query
// alone, and AppendEnvVariable with one configured variable, which reads the settings twice
// itself and ends in a trace point.
#include "KaCtrlUtils.h"
#include "BestMs.h"
#include "Sandbox.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>

namespace {

using KaBench::BestMs;

constexpr int kCalls = 50;

// The settings of one configured variable, and lines other namespaces add up to size.
std::string Settings(int otherLines) {
    std::string text = "[ctrl.env]\nKA_TRACE_BENCH=C:\\Base\n[ctrl.env.append]\n"
                       "KA_TRACE_BENCH=D:\\Extra\n[tek.trace]\nAREAS=lnk.http\n[other]\n";
    for (int line = 0; line < otherLines; ++line) {
        text += "KEY_" + std::to_string(line) + "=C:\\Program Files\\Tool\\bin\n";
    }
    return text;
}

// Microseconds per call of work, the best of a few runs of kCalls calls.
template <typename Work> double MicrosPerCall(Work work) {
    work(); // first use: the runtime's own allocations, the file in the cache
    return BestMs(
               [&work] {
                   for (int call = 0; call < kCalls; ++call) {
                       work();
                   }
               },
               7) *
           1000 / kCalls;
}

void Measure(const KaTest::Sandbox& sandbox, int otherLines) {
    sandbox.WriteSettings(Settings(otherLines));
    // Written long ago as far as the runtime can tell, so that what it read stays trusted.
    const std::filesystem::path file(sandbox.SettingsFile());
    std::filesystem::last_write_time(file, std::filesystem::last_write_time(file) -
                                               std::chrono::hours(1));
    const double read = MicrosPerCall([] { KaTekConfig::ConfigNamespace_t("tek.trace").Open(); });
    KaTekTrc::TraceWrapper_t untraced("ctrl.utils", 2);
    const double point = MicrosPerCall([&untraced] { untraced.InitObject(); });
    const std::wstring path = sandbox.SettingsFile();
    const double query = MicrosPerCall([&path] {
        WIN32_FILE_ATTRIBUTE_DATA data;
        ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    });
    const KaTekCmd::Command_t command(KaTekStr::String_t("unused.exe"), {});
    const double append = MicrosPerCall([&command] { KaCtrl::AppendEnvVariable(true, command); });
    std::printf("%5d other lines: read %8.1f us; untraced point %6.1f us (attribute query %5.1f "
                "us); AppendEnvVariable %8.1f us, a read more would add %3.0f%%\n",
                otherLines, read, point, query, append, 100 * (read - point) / append);
}

} // namespace

int main() {
    KaTest::Sandbox sandbox;
    for (int otherLines : {0, 100, 1000, 10000}) {
        Measure(sandbox, otherLines);
    }
}
