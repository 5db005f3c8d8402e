// Resolution time of directory variables: a 1 MiB text holding 20,000 variables against a
// 100 KiB text of the same mix. Linear work makes the large text cost about ten times the
// small one; the target is at most twelve.
#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>

namespace {

// piece over and over, cut to units.
std::wstring Repeated(const std::wstring& piece, size_t units) {
    std::wstring text;
    while (text.size() < units) {
        text += piece;
    }
    text.resize(units);
    return text;
}

// The fastest of calls that take about half a second together: the machine is shared, and
// the fastest call is the one least disturbed by other work (nor slowed by the first call's
// reading of the settings file).
double FastestMs(const char* label, const std::wstring& text, int calls) {
    const KaTekStr::String_t input(text);
    double fastest = 1e300;
    for (int call = 0; call < calls; ++call) {
        const auto start = std::chrono::steady_clock::now();
        KaCtrl::ReplaceDirVariables(input);
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        fastest = std::min(fastest, took.count());
    }
    // One more call, untimed, shows that the work was done.
    const std::wstring result = KaCtrl::ReplaceDirVariables(input).Std();
    std::printf("%-8s %8zu units: %8.2f ms%s\n", label, text.size(), fastest,
                result.find(L"$KaBinDir") != std::wstring::npos ? ", UNRESOLVED" : "");
    return fastest;
}

} // namespace

int main() {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=C:\\Tools\\sudo.exe -u ka\n");
    // A configured command line: ten variables, "$KA_SUDO" among them, and an unknown name,
    // with paths, blanks and backslashes between, padded with plain arguments to 524 units
    // so that 1 MiB holds 20,000 variables.
    const std::wstring line = L"$KA_SUDO \"$KaBinDir\\kacd.exe\" -c \"$KaConfDir\\kacd.ini\" "
                              L"-l $KaLogDir\\kacd.log -t $TmpDir\\x -j $KaJreDir\\java.exe "
                              L"-d $DataDir -s $KaSystemTmpDir\\s -u $UserDir -p $LibDir\\p.dll "
                              L"$Unknown ";
    const std::wstring piece = line + Repeated(L" -o C:\\Data\\f.txt", 524 - line.size());
    const double smallMs = FastestMs("100 KiB", Repeated(piece, 100 * 1024), 200);
    const double largeMs = FastestMs("1 MiB", Repeated(piece, 1024 * 1024), 20);
    std::printf("1 MiB / 100 KiB: %.2f (target at most 12)\n", largeMs / smallMs);
}
