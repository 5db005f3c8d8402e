// Resolution time of directory variables: a 1 MiB text holding 20,000 variables against a
// 100 KiB text of the same mix. Linear work makes the large text cost about ten times the
// small one; the target is at most twelve.
#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

using KaTekStr::String_t;

namespace {

// One piece of a configured command line: ten variables, "$KA_SUDO" among them, with
// paths, blanks and backslashes between. 524 units, so that 1 MiB holds 20,000 variables.
std::wstring Piece() {
    std::wstring piece = L"$KA_SUDO \"$KaBinDir\\kacd.exe\" -c \"$KaConfDir\\kacd.ini\" "
                         L"-l $KaLogDir\\kacd.log -t $TmpDir\\x -j $KaJreDir\\java.exe "
                         L"-d $DataDir -s $KaSystemTmpDir\\s -u $UserDir -p $LibDir\\p.dll "
                         L"$Unknown ";
    while (piece.size() < 524) {
        piece += L" -o C:\\Data\\f.txt"; // plain arguments between the variables
    }
    piece.resize(524);
    return piece;
}

std::wstring TextOf(size_t units) {
    const std::wstring piece = Piece();
    std::wstring text;
    while (text.size() + piece.size() <= units) {
        text += piece;
    }
    text.append(piece, 0, units - text.size());
    return text;
}

size_t CountVariables(const std::wstring& text) {
    size_t count = 0;
    for (size_t at = text.find(L'$'); at != std::wstring::npos; at = text.find(L'$', at + 1)) {
        count += text.compare(at, 8, L"$Unknown") != 0;
    }
    return count;
}

struct Timing {
    double wallMs; // the fastest call
    double cpuMs;  // the thread's processor time per call, unaffected by waiting for a core
};

double ThreadCpuMs() {
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    auto ms = [](const FILETIME& t) {
        return ((static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
}

// Calls enough to take about the same processor time for either text: the machine is
// shared, so the fastest wall time and the average processor time are both shown.
Timing Measure(const std::wstring& text, int calls) {
    const String_t input(text);
    Timing timing{1e300, 0};
    const double cpuStart = ThreadCpuMs();
    for (int call = 0; call < calls; ++call) {
        auto start = std::chrono::steady_clock::now();
        String_t result = KaCtrl::ReplaceDirVariables(input);
        std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
        timing.wallMs = std::min(timing.wallMs, took.count());
        if (result.Std().find(L"$KaBinDir") != std::wstring::npos) {
            std::printf("variables left unresolved\n");
        }
    }
    timing.cpuMs = (ThreadCpuMs() - cpuStart) / calls;
    return timing;
}

} // namespace

Timing Report(const char* label, const std::wstring& text, int calls) {
    const Timing timing = Measure(text, calls);
    std::printf("%-8s %6zu variables: %8.2f ms fastest, %8.2f ms processor per call\n", label,
                CountVariables(text), timing.wallMs, timing.cpuMs);
    return timing;
}

int main() {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=C:\\Tools\\sudo.exe -u ka\n");
    const std::wstring small = TextOf(100 * 1024);
    const std::wstring large = TextOf(1024 * 1024);
    const std::wstring larger = TextOf(4 * 1024 * 1024);
    Measure(small, 3); // the first calls also load the settings file and fill caches
    // Each row takes about half a second of processor time.
    Report("empty", std::wstring(), 1000);
    const Timing smallTime = Report("100 KiB", small, 200);
    const Timing largeTime = Report("1 MiB", large, 20);
    const Timing largerTime = Report("4 MiB", larger, 5);
    std::printf("1 MiB / 100 KiB: %.2f fastest, %.2f processor (target at most 12)\n",
                largeTime.wallMs / smallTime.wallMs, largeTime.cpuMs / smallTime.cpuMs);
    std::printf("4 MiB / 1 MiB: %.2f fastest, %.2f processor (4 when linear)\n",
                largerTime.wallMs / largeTime.wallMs, largerTime.cpuMs / largeTime.cpuMs);
    return 0;
}
