// The configuration lookups and the directory variables on a sandbox installation: its own
// installation and data directories and settings file, named to the runtime through the
// environment. The name replacement behind the variables, internal to the library, is held
// against the plain loop it stands in for; the boolean and the variables against hostile texts.
#include <gtest/gtest.h>

#include "AgentNames.h"
#include "Checks.h"
#include "Generator.h"
#include "KaCtrlUtils.h"
#include "Sandbox.h"
#include "config/NameReplacement.h"

#include <algorithm>
#include <map>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

using KaTekStr::String_t;
using KaTest::Thrown;
using namespace std::string_literals; // L"..."s keeps a NUL and what follows it

namespace {

std::wstring Resolve(const std::wstring& text) {
    return KaCtrl::ReplaceDirVariables(String_t(text)).Std();
}

std::wstring Slashed(std::wstring path) {
    std::replace(path.begin(), path.end(), L'\\', L'/');
    return path;
}

std::wstring Asked(DWORD(WINAPI* platform)(DWORD, LPWSTR)) {
    wchar_t buffer[MAX_PATH + 1] = {};
    return Slashed(std::wstring(buffer, platform(MAX_PATH + 1, buffer)));
}

// What each name stands for below the installation (I), data (D), current (C) or system
// temporary (T) directory; laid out by hand, as clang-format would give each its own line.
// clang-format off
const std::pair<const wchar_t*, const wchar_t*> kVariables[] = {
    {L"$BinDir", L"I/bin/win64"}, {L"$ConfDir", L"D/conf"}, {L"$CurrentDir", L"C"},
    {L"$DataConfDir", L"D/conf"}, {L"$DataDir", L"D"}, {L"$InstallDir", L"I"},
    {L"$JavaDir", L"I/java"}, {L"$KaBinDir", L"I/bin"}, {L"$KaConfDir", L"D/config"},
    {L"$KaCurrentDir", L"C"}, {L"$KaDataConfDir", L"D/config"}, {L"$KaDataDir", L"D"},
    {L"$KaInstallDir", L"I"}, {L"$KaInstrumentationDir", L"I/instrumentation"},
    {L"$KaJavaDir", L"I/java"}, {L"$KaJreBDir", L"I/nonKA/jre/b/bin"},
    {L"$KaJreDir", L"I/nonKA/jre/1.4/bin"}, {L"$KaLBinDir", L"I/lbin"}, {L"$KaLibDir", L"I/lib"},
    {L"$KaLogDir", L"D/log"}, {L"$KaMiscDir", L"I/misc"}, {L"$KaNonKADir", L"I/nonKA"},
    {L"$KaPerlADir", L"I/nonKA/perl/a/bin"}, {L"$KaShareDir", L"D/shared"},
    {L"$KaSystemTmpDir", L"T"}, {L"$KaTmpDir", L"D/temp"}, {L"$KaUserDir", L"D/user"},
    {L"$LBinDir", L"I/lbin"}, {L"$LibDir", L"I/lib"}, {L"$LogDir", L"D/log"},
    {L"$MiscDir", L"I/misc"}, {L"$NonKADir", L"I/nonKA"}, {L"$ShareDir", L"D/shared"},
    {L"$SystemTmpDir", L"T"}, {L"$TmpDir", L"D/tmp"}, {L"$UserDir", L"D/user"},
};
// clang-format on

std::wstring Repeated(const std::wstring& piece, size_t count) {
    std::wstring text;
    while (count-- > 0) {
        text += piece;
    }
    return text;
}

// The plain loop: find the first occurrence, replace it, search again from the start;
// "too long" once the values inserted would pass budget units. It ends for every value that
// does not hold the name: an empty one shrinks the text, any other is charged.
std::wstring SearchFromStart(std::wstring text, const std::wstring& name, const std::wstring& value,
                             size_t budget) {
    size_t inserted = 0;
    for (size_t at; (at = text.find(name)) != std::wstring::npos;) {
        if ((inserted += value.size()) > budget) {
            return L"too long";
        }
        text.replace(at, name.size(), value);
    }
    return text;
}

// The replaced text, the text itself when no name was found, or "too long"; in linear work,
// a constant times the units of the text and the values inserted plus the name's length
// (the edges it looks at). Quadratic work, such as comparing what was inserted again after
// every replacement, soon passes it.
std::wstring ReplacedInTurn(const std::wstring& text, const std::wstring& name,
                            const std::wstring& value, KaCtrl::ReplacementBudget& budget) {
    std::wstring result;
    try {
        result = KaCtrl::ReplaceInTurn(text, {{name, value}}, budget, result) ? result : text;
    } catch (const std::length_error&) {
        result = L"too long";
    }
    EXPECT_LE(budget.work, 8 * (text.size() + budget.inserted + name.size()))
        << KaTest::Utf8(name + L" in " + text);
    return result;
}

// Every text over "$ab" up to longest units, shortest first: 1,093 up to 6, 121 up to 4.
std::vector<std::wstring> AllTexts(size_t longest) {
    std::vector<std::wstring> texts{L""};
    for (size_t from = 0; texts[from].size() < longest; ++from) {
        texts.insert(texts.end(), {texts[from] + L'$', texts[from] + L'a', texts[from] + L'b'});
    }
    return texts;
}

} // namespace

TEST(GetBooleanFromString, TrueOrFalseInAnyCaseAndNothingElse) {
    // The words in any letter case are judged by the text-boundary generator of outside_test;
    // anything else is refused here with message 1 and the text, unchanged, as its argument
    // (what() ends at a NUL: a text cut there would show its closing quote).
    for (const std::wstring& text : {L" true"s, L"true "s, L""s, L"1"s, L"yes"s, L"on"s, L"fals"s,
                                     L"true\0x"s, L"\xFF54rue"s}) {
        const std::string expected = "KaCtrl(1): Not a boolean value '" + KaTest::Utf8(text) + "'.";
        EXPECT_EQ(Thrown<KaTekMsg::IllegalStateError_t>(
                      [&] { KaCtrl::GetBooleanFromString(String_t(text.c_str(), text.size())); }),
                  expected.c_str());
    }
}

TEST(GetKaCoreID, ValueAsWrittenElseMessage3) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[sec.core]\nCORE_ID=  core-42 \n");
    EXPECT_EQ(KaCtrl::GetKaCoreID().Std(), L"  core-42 ");
    // Absent or empty: an empty argument.
    const auto thrown = [] { return Thrown<KaTekMsg::IllegalStateError_t>(KaCtrl::GetKaCoreID); };
    for (const char* settings : {"", "[sec.core]\nCORE_ID=\n", "[other]\nCORE_ID=x\n"}) {
        sandbox.WriteSettings(settings);
        EXPECT_EQ(thrown(), "KaCtrl(3): Error getting KaCore ID: ''.") << settings;
    }
    // A runtime failure: its own message, naming the file and the line, wrapped once.
    sandbox.WriteSettings("[sec.core]\nthis line is not a setting\n");
    EXPECT_PRED2(KaTest::Glob,
                 "KaCtrl(3): Error getting KaCore ID: 'KaTek(3): Malformed settings file '" +
                     KaTest::Utf8(sandbox.SettingsFile()) + "', line 2: *",
                 thrown());
}

TEST(Directories, EndInOneSeparatorAndNameEachOfTheThirtySixVariables) {
    KaTest::Sandbox sandbox;
    // The directories I, D, C and T, in that order; the platform's answer for T ends in a
    // separator, the value does not.
    const std::wstring temp = Asked(::GetTempPathW),
                       bases[] = {Slashed(sandbox.InstallDir()), Slashed(sandbox.DataDir()),
                                  Asked(::GetCurrentDirectoryW), temp.substr(0, temp.size() - 1)};
    // All names in one text, each followed by a separator: the text's own, as the value
    // brings none. "$TmpDir" and "$KaTmpDir", "$ConfDir" and "$KaConfDir" differ here. The
    // agent's table names exactly the variables this table expects, so that kacutil's "dirs",
    // which lists the agent's table, shows each of them.
    std::wstring all, expected;
    ASSERT_EQ(std::size(kVariables), std::size(KaAgent::kDirVariables));
    for (size_t at = 0; at < std::size(kVariables); ++at) {
        const auto& [name, where] = kVariables[at];
        EXPECT_EQ(name, KaTekStr::WidenAnsi(KaAgent::kDirVariables[at].name));
        all += name + L"\\"s;
        expected += bases[L"IDCT"s.find(where[0])] + (where + 1) + L"/";
    }
    // Also when the data directory is named with a trailing separator.
    for (const std::wstring& data : {sandbox.DataDir(), sandbox.DataDir() + L"\\"}) {
        KaTest::SetEnv(L"KA_DATA_DIR", data);
        EXPECT_EQ(KaCtrl::GetTmpDir().Std(), sandbox.DataDir() + L"\\tmp\\");
        EXPECT_EQ(KaCtrl::GetConfDir().Std(), sandbox.DataDir() + L"\\conf\\ctrl\\");
        EXPECT_EQ(Resolve(all), expected);
    }
    KaTest::SetEnv(L"KA_DATA_DIR", L"relative\\data"); // lookup failures reach the caller
    EXPECT_THROW(KaCtrl::GetTmpDir(), KaTekMsg::Exception_t);
    EXPECT_THROW(KaCtrl::GetConfDir(), KaTekMsg::Exception_t);
}

TEST(ReplaceDirVariables, Texts) {
    KaTest::Sandbox sandbox;
    const std::wstring I = Slashed(sandbox.InstallDir()), D = Slashed(sandbox.DataDir());
    struct Case {
        const char* sudo; // nullptr: not configured
        std::wstring text, expected;
    } cases[] = {
        {nullptr, L"C:\\a b\\c%20\\$ \\\\", L"C:/a b/c%20/$ //"}, // only backslashes change
        // The same name several times, once followed by letters: no word boundary needed.
        {nullptr, L"$KaBinDir\\a;$KaBinDirectory;$KaBinDir",
         I + L"/bin/a;" + I + L"/binectory;" + I + L"/bin"},
        {nullptr, L"$kabindir $KaBin Dir $Unknown $", L"$kabindir $KaBin Dir $Unknown $"},
        // An unreadable settings file gives no sudo text, and no failure.
        {"x\nnot a setting", L"$KA_SUDO x", L"$KA_SUDO x"},
        {"", L"$KA_SUDO x", L"$KA_SUDO x"},
        {"\"\"", L"$KA_SUDO x", L"$KA_SUDO x"},
        {"\"\" ", L"$KA_SUDO x", L"\"\"  x"}, // not exactly two double quotes
        // The sudo text as written, blanks and all, its backslashes turned.
        {" C:\\Tools\\su do.exe -u ", L"$KA_SUDO x", L" C:/Tools/su do.exe -u  x"},
        {"C:\\Tools\\\\", L"$KA_SUDO\\x", L"C:/Tools//x"}, // one separator cut, not all
        // Characters outside the ANSI code page come through as written.
        {"C:\\\xE7\x94\xA8\xE6\x88\xB7\\su.exe", L"$KA_SUDO", L"C:/\u7528\u6237/su.exe"},
        // Names come in ascending order: "$KaLogDir" after "$KA_SUDO", "$BinDir" before it.
        {"$KaLogDir\\x $BinDir", L"$KA_SUDO", D + L"/log/x $BinDir"},
        // Holding its own name, each occurrence the text held is replaced once: the inserted
        // text is not searched again.
        {"sudo $KA_SUDO", L"$KA_SUDO a $KA_SUDO", L"sudo $KA_SUDO a sudo $KA_SUDO"},
        // A value forming the name again with the text around it is replaced in turn.
        {"x$KA_S", L"$KA_SUDOUDOUDO", L"xxx$KA_S"},
    };
    // Each row rewrites the settings: a value kept from an earlier call would show.
    for (const Case& c : cases) {
        sandbox.WriteSettings(c.sudo ? "[ctrl.sudo]\nKA_SUDO=" + std::string(c.sudo) + "\n" : "");
        EXPECT_EQ(Resolve(c.text), c.expected) << KaTest::Utf8(c.text);
    }
    EXPECT_TRUE(KaCtrl::ReplaceDirVariables(String_t::Null()).IsNull());
    EXPECT_FALSE(KaCtrl::ReplaceDirVariables(String_t(L"")).IsNull());
    // "$" + "KA_SUDOKA_SUDO$$" forms the name again at every step, without end: the call gives
    // up at its budget. One in which no value forms a name is given in full, however long.
    sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=KA_SUDOKA_SUDO$$\n");
    EXPECT_THROW(Resolve(L"$$KA_SUDO"), std::length_error);
    sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=" + std::string(600, 'x') + "\n");
    EXPECT_EQ(Resolve(Repeated(L"$KA_SUDO", 20000)), std::wstring(12000000, L'x'));
    // A drive root keeps its separator in the runtime's answer; the value loses it.
    KaTest::SetEnv(L"KA_INSTALL_DIR", L"Z:\\");
    EXPECT_EQ(Resolve(L"$InstallDir\\x|$KaBinDir"), L"Z:/x|Z:/bin");
}

TEST(ReplaceDirVariables, AnyLookupFailureFailsTheCall) {
    for (const wchar_t* variable : {L"KA_INSTALL_DIR", L"KA_DATA_DIR"}) {
        KaTest::Sandbox sandbox;
        sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=sudo\n");
        KaTest::SetEnv(variable, L"relative\\dir");
        // The runtime's own failure, unchanged, even where the text names no directory.
        for (const wchar_t* text : {L"", L"plain text", L"$KA_SUDO"}) {
            EXPECT_EQ(Thrown([&] { Resolve(text); }),
                      "KaTek(6): Directory variable " + KaTest::Utf8(variable) +
                          " is not an absolute path: 'relative\\dir'")
                << KaTest::Utf8(text);
        }
    }
}

TEST(ReplaceInTurn, EqualsSearchFromStartWithinTheBudgetInLinearWork) {
    // Budgets from 1 to 100 units in turn: ends just within and just beyond them come up.
    size_t cases = 0;
    const auto expectLikeTheLoop = [&cases](const std::wstring& name, const std::wstring& value,
                                            const std::wstring& text) {
        KaCtrl::ReplacementBudget budget{1 + cases++ % 100};
        ASSERT_EQ(ReplacedInTurn(text, name, value, budget),
                  SearchFromStart(text, name, value, budget.allowed))
            << KaTest::Utf8(name + L"=" + value + L" in " + text) << " " << budget.allowed;
    };
    // Every small text: values of 4 units are the shortest that can form these without end.
    const std::vector<std::wstring> values = AllTexts(4), texts = AllTexts(6);
    for (const std::wstring name : {L"$a", L"$ab", L"$ba", L"$aa", L"a", L"aa", L"ab", L"aba"}) {
        for (const std::wstring& value : values) {
            for (const std::wstring& text : texts) {
                if (value.find(name) == std::wstring::npos) { // else the loop never ends
                    expectLikeTheLoop(name, value, text);
                }
            }
        }
    }
    // Longer ones drawn at random, where cascades of more steps come up, and names past the
    // text's end that the index packs as NULs.
    std::mt19937 rng(18);
    const auto draw = [&rng](size_t least, size_t most) {
        std::wstring text(least + rng() % (most - least + 1), L'$');
        std::generate(text.begin(), text.end(), [&rng] { return L"$ab\0"[rng() % 4]; });
        return text;
    };
    for (int round = 0; round < 4000; ++round) {
        const std::wstring name = draw(1, 5), value = draw(0, 12);
        if (value.find(name) == std::wstring::npos) {
            expectLikeTheLoop(name, value, draw(0, 40));
        }
    }
}

// Each "O" after the names moves one name to the left and doubles them all: 40 x 2^m names
// in the end, in linear work, or std::length_error once that passes the budget.
TEST(ReplaceInTurn, DoublingCascadeEndsInLinearWorkOrAtTheBudget) {
    for (size_t m = 0; m <= 11; ++m) {
        const std::wstring text = Repeated(L"$KA_SUD", 40) + std::wstring(m, L'O');
        const std::vector<KaCtrl::NameAndValue> names{{L"$KA_SUDO", L"O$KA_SUD$KA_SUD"}};
        KaCtrl::ReplacementBudget budget = KaCtrl::MakeBudget(text, names);
        ASSERT_EQ(ReplacedInTurn(text, names[0].name, names[0].value, budget),
                  m <= 10 ? std::wstring(m, L'O') + Repeated(L"$KA_SUD", 40 << m) : L"too long");
    }
    // However many names a long text holds, what it may grow by keeps it within String_t.
    EXPECT_EQ(KaCtrl::ComputeAllowance(0xFFFFFF00, 0x24924924, 0xFFFFFFFE), 0xFEu);
}

// A replacement may insert exactly what its budget allows, and not one unit more: the values
// are charged before they go in. What a text may grow by ends one unit before String_t's limit.
TEST(ReplacementBudget, ChargesUpToWhatItAllowsAndNotOneUnitMore) {
    const std::wstring text = L"$KA_SUDO;$KA_SUDO";
    const std::vector<KaCtrl::NameAndValue> names{{L"$KA_SUDO", L"abc"}};
    for (const size_t allowed : {size_t{5}, size_t{6}, size_t{7}}) {
        KaCtrl::ReplacementBudget budget{allowed};
        EXPECT_EQ(ReplacedInTurn(text, names[0].name, names[0].value, budget),
                  allowed >= 6 ? L"abc;abc" : L"too long")
            << allowed;
    }
    const size_t longest = KaCtrl::kLongestText;
    EXPECT_EQ(KaCtrl::ComputeAllowance(longest - 1, 1, 1), 1u);
    EXPECT_EQ(KaCtrl::ComputeAllowance(longest, 1, 1), 0u);
    EXPECT_EQ(KaCtrl::ComputeAllowance(longest + 1, 1, 1), 0u);
    EXPECT_EQ(KaCtrl::ComputeAllowance(7, 1, 3), 3u + KaCtrl::kCascadeAllowance);
}

// A word with each letter as it is, in upper case, fullwidth, or with a hostile unit added: only
// the two ASCII words in any letter case are booleans. And no variable can form from hostile
// units: nothing but their backslashes changes.
TEST(GetBooleanFromString, LookAlikesAreNoBoolean) {
    KaTest::Sandbox sandbox;
    KaTest::Generator gen{std::mt19937(7)};
    for (int round = 0; round < 600; ++round) {
        const std::wstring word = round % 2 ? L"true" : L"false";
        std::wstring given;
        bool isWord = true;
        for (wchar_t letter : word) {
            const size_t how = gen.Below(8);
            isWord = isWord && how < 4;
            const wchar_t forms[] = {letter, static_cast<wchar_t>(towupper(letter)),
                                     static_cast<wchar_t>(letter + 0xFEE0), letter};
            given += forms[how / 2] + (how >= 6 ? gen.Unit() : L"");
        }
        int answer = -1; // where GetBooleanFromString refuses the text
        Thrown<KaTekMsg::IllegalStateError_t>(
            [&] { answer = KaCtrl::GetBooleanFromString(String_t(given)); });
        EXPECT_EQ(isWord ? round % 2 : -1, answer) << KaTest::Utf8(given);
        const std::wstring text = gen.Text(12);
        EXPECT_EQ(KaCtrl::FileNameToURI(String_t(text), false).Std(),
                  KaCtrl::ReplaceDirVariables(String_t(text)).Std());
    }
}
