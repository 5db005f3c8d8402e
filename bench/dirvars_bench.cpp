// Resolution time of directory variables:
// - a 1 MiB text holding 20,000 variables against a 100 KiB text of the same mix: linear
//   work makes the large text cost about ten times the small one; the target is at most
//   twelve;
// - hostile sudo texts: the doubling cascade KA_SUDO=O$KA_SUD$KA_SUD on 40 x "$KA_SUD" and
//   m x "O", which must end well under a second for every m with its result or
//   std::length_error, and texts and values of 64 KiB, ordinary and endless;
// - the name replacement itself on the cases of a random search that do the most work per
//   unit, timed under the call's own budget.
#include "KaCtrlUtils.h"
#include "BestMs.h"
#include "Sandbox.h"
#include "config/NameReplacement.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>

namespace {

using KaBench::BestMs;

// piece over and over, cut to units.
std::wstring Repeated(const std::wstring& piece, size_t units) {
    std::wstring text;
    while (text.size() < units) {
        text += piece;
    }
    text.resize(units);
    return text;
}

// The fastest of calls that take a second or a few together: the machine is shared, and
// the fastest call is the one least disturbed by other work (nor slowed by the first call's
// reading of the settings file). The large text's calls each take fresh memory, whose cost
// varies most from call to call, so it is called as often as the small one, not for the
// same time.
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

void MixedTexts() {
    // A configured command line: ten variables, "$KA_SUDO" among them, and an unknown name,
    // with paths, blanks and backslashes between, padded with plain arguments to 524 units
    // so that 1 MiB holds 20,000 variables.
    const std::wstring line = L"$KA_SUDO \"$KaBinDir\\kacd.exe\" -c \"$KaConfDir\\kacd.ini\" "
                              L"-l $KaLogDir\\kacd.log -t $TmpDir\\x -j $KaJreDir\\java.exe "
                              L"-d $DataDir -s $KaSystemTmpDir\\s -u $UserDir -p $LibDir\\p.dll "
                              L"$Unknown ";
    const std::wstring piece = line + Repeated(L" -o C:\\Data\\f.txt", 524 - line.size());
    const double smallMs = FastestMs("100 KiB", Repeated(piece, 100 * 1024), 100);
    const double largeMs = FastestMs("1 MiB", Repeated(piece, 1024 * 1024), 100);
    std::printf("1 MiB / 100 KiB: %.2f (target at most 12)\n", largeMs / smallMs);
}

// What a call gave: its result's length, or the exception that ended it.
template <typename Call> std::string Outcome(Call call) {
    try {
        return std::to_string(call()) + " units";
    } catch (const std::length_error&) {
        return "std::length_error";
    } catch (const std::bad_alloc&) {
        return "std::bad_alloc (a fault)";
    }
}

// ReplaceDirVariables on text with sudo configured: the best of runs, and the outcome.
void Resolve(const KaTest::Sandbox& sandbox, const char* label, const std::string& sudo,
             const std::wstring& text, int runs = 3) {
    sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=" + sudo + "\n");
    const KaTekStr::String_t input(text);
    std::string outcome;
    const double ms = BestMs(
        [&] { outcome = Outcome([&] { return KaCtrl::ReplaceDirVariables(input).GetLength(); }); },
        runs);
    std::printf("%-44s %9.2f ms  %s\n", label, ms, outcome.c_str());
}

void HostileSudoTexts(const KaTest::Sandbox& sandbox) {
    for (const size_t m : {12, 20, 28, 40}) {
        const std::string label = "cascade, m = " + std::to_string(m);
        Resolve(sandbox, label.c_str(), "O$KA_SUD$KA_SUD",
                Repeated(L"$KA_SUD", 40 * 7) + std::wstring(m, L'O'));
    }
    Resolve(sandbox, "20,000 x $KA_SUDO, 600-unit value", std::string(600, 'x'),
            Repeated(L"$KA_SUDO", 20000 * 8));
    // An ordinary replacement at its longest: 8,192 names, each becoming 64 Ki units.
    Resolve(sandbox, "64 KiB of $KA_SUDO, 64 KiB value", std::string(65536, 'x'),
            Repeated(L"$KA_SUDO", 65536), 1);
    // Endless, with a value of 64 KiB: "$" and the rest of each value form the name again.
    // One name in the text: the budget is small. 8,192 names: it is the largest, as large as
    // the ordinary replacement above.
    const std::string endless = "KA_SUDOKA_SUDO" + std::string(65536 - 16, 'x') + "$$";
    Resolve(sandbox, "1 name in 64 KiB, 64 KiB value forming it", endless,
            L"$$KA_SUDO" + std::wstring(65536 - 9, L'y'));
    Resolve(sandbox, "64 KiB of $KA_SUDO, 64 KiB value forming it", endless,
            L"$" + Repeated(L"$KA_SUDO", 65535), 1);
}

struct Case {
    std::wstring name, value, text;
    size_t work;
};

// What the replacement of c spent within budget units of values: its work and the units
// it inserted.
KaCtrl::ReplacementBudget Spent(const Case& c, KaCtrl::ReplacementBudget budget) {
    std::wstring result;
    try {
        KaCtrl::ReplaceInTurn(c.text, {{c.name, c.value}}, budget, result);
    } catch (const std::length_error&) {
    }
    return budget;
}

// A random search over small names, values and texts of "$ab" for the cases with the most
// work within a small budget, which are those with the most work within a large one; these
// are then timed under the call's own budget.
void WorstGenerated() {
    std::mt19937 rng(18);
    const auto draw = [&rng](size_t least, size_t most) {
        std::wstring text(least + rng() % (most - least + 1), L'$');
        std::generate(text.begin(), text.end(), [&rng] { return L"$ab"[rng() % 3]; });
        return text;
    };
    std::vector<Case> worst;
    for (int round = 0; round < 50000; ++round) {
        Case c{draw(1, 8), draw(0, 16), draw(0, 64), 0};
        c.work = Spent(c, {4096}).work;
        worst.push_back(c);
        std::sort(worst.begin(), worst.end(),
                  [](const Case& a, const Case& b) { return a.work > b.work; });
        worst.resize(std::min<size_t>(worst.size(), 3));
    }
    for (const Case& c : worst) {
        const KaCtrl::ReplacementBudget budget = KaCtrl::MakeBudget(c.text, {{c.name, c.value}});
        std::string outcome;
        const double ms = BestMs([&] {
            outcome = Outcome([&] {
                std::wstring result;
                KaCtrl::ReplacementBudget spent = budget;
                return KaCtrl::ReplaceInTurn(c.text, {{c.name, c.value}}, spent, result)
                           ? result.size()
                           : c.text.size();
            });
        });
        const KaCtrl::ReplacementBudget spent = Spent(c, budget);
        std::printf("generated %s=%s in %s\n%44s %9.2f ms  %s, work %.2f per unit\n",
                    KaTest::Utf8(c.name).c_str(), KaTest::Utf8(c.value).c_str(),
                    KaTest::Utf8(c.text).c_str(), "", ms, outcome.c_str(),
                    double(spent.work) / double(c.text.size() + spent.inserted + c.name.size()));
    }
}

} // namespace

int main() {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=C:\\Tools\\sudo.exe -u ka\n");
    MixedTexts();
    HostileSudoTexts(sandbox);
    WorstGenerated();
}
