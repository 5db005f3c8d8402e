// SetEnvPath and AppendEnvVariable: the variables a real child receives through its
// command, and the calling process's own environment when no command is given; the trace
// record of AppendEnvVariable. And AvoidDuplicate: the edge cases of the cleaning rules, in
// one table, and lists of hostile texts from a seeded generator.
#include "Checks.h"
#include "ChildMode.h"
#include "Generator.h"
#include "KaCtrlUtils.h"
#include "Sandbox.h"
#include "Standin.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using KaTekCmd::Command_t;
using KaTekStr::String_t;
using Value = std::optional<std::wstring>; // none: no such variable
using Seen = std::vector<Value>;

constexpr bool kAppend = true, kPrepend = false;

// The value of name in this process's environment, as the platform holds it.
Value ProcessValue(const wchar_t* name) {
    wchar_t text[32767];
    SetLastError(0);
    const DWORD size = GetEnvironmentVariableW(name, text, 32767);
    return size || GetLastError() != ERROR_ENVVAR_NOT_FOUND ? Value({text, size}) : std::nullopt;
}

// Child mode "env": prints, one a line, "=" and the value of each variable its arguments
// name, or "-" where its environment holds no such variable. The platform's own lookup
// compares names without regard to letter case, as Windows does, so a test sees exactly what
// a child sees.
int PrintVariables(const std::vector<std::wstring>& names) {
    for (const std::wstring& name : names) {
        const Value value = ProcessValue(name.c_str());
        std::printf("%s\n", value ? ("=" + KaTest::Utf8(*value)).c_str() : "-");
    }
    return std::fflush(stdout);
}
const KaTest::ChildMode kEnvChild(L"env", PrintVariables);

// Child mode "trace": all three functions run, so that a trace record of any other would
// show; W is extended too, before X, so the record carries the last value. Exits with 0 when
// AppendEnvVariable answers that value.
int CallTraced(const std::vector<std::wstring>&) {
    Command_t command(String_t("unused.exe"), {});
    KaCtrl::SetEnvPath(command);
    KaCtrl::AvoidDuplicate(String_t("a;A;b"));
    return KaCtrl::AppendEnvVariable(true, command).Std() == L"a;b" ? 0 : 1;
}
const KaTest::ChildMode kTraceChild(L"trace", CallTraced);

// This program started again in child mode, with args.
Command_t ChildCommand(const wchar_t* mode, std::initializer_list<const wchar_t*> args = {}) {
    std::vector<String_t> arguments = {String_t("--ka-child"), String_t(mode)};
    arguments.insert(arguments.end(), args.begin(), args.end());
    return Command_t(String_t(KaTest::ProgramDir() + L"env_test.exe"), arguments);
}

// Starts command and answers what the child saw of each name it was given.
Seen RunChild(Command_t command) {
    command.Start();
    // The machine is shared and Wine is slow.
    EXPECT_TRUE(command.Wait(120000)) << "the child did not end";
    EXPECT_EQ(0u, command.GetExitCode());
    std::wistringstream lines(command.GetOutput().Std());
    Seen seen;
    for (std::wstring line; std::getline(lines, line);) {
        seen.push_back(line[0] == L'=' ? Value(line.substr(1, line.find(L'\r') - 1))
                                       : std::nullopt);
    }
    return seen;
}

// Each test starts and ends without these variables in the process and with the "C"
// locale, so that one test's changes to the process never reach the next.
class Env : public testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        for (const wchar_t* name : {L"LANG", L"V", L"W", L"X", L"Y", L"Z", L"KA_ENV_PRESET"}) {
            KaTest::SetEnv(name, L"");
        }
        std::setlocale(LC_ALL, "C");
    }
    KaTest::Sandbox sandbox;
};

TEST_F(Env, SetEnvPathGivesTheCommandElseTheProcessTheConfiguredVariables) {
    KaTest::SetEnv(L"KA_ENV_PRESET", L"old");
    // Z in another namespace is a decoy.
    sandbox.WriteSettings("[ctrl.env]\nLANG=en_US\nX=\nY= a=b;c\\d;c/D \nKA_ENV_PRESET=new\n"
                          "PATH=C:\\configured;c:/CONFIGURED\n[ctrl.env.append]\nZ=1\n");
    Command_t command =
        ChildCommand(L"env", {L"LANG", L"X", L"Y", L"KA_ENV_PRESET", L"Z", L"Path"});
    KaCtrl::SetEnvPath(command);
    EXPECT_EQ(RunChild(command), (Seen{L"en_US", L"", L" a=b;c\\d;c/D ", L"new", std::nullopt,
                                       L"C:\\configured;c:/CONFIGURED"}));
    // The command alone changes: not this process, nor its locale.
    EXPECT_EQ(Value(L"old"), ProcessValue(L"KA_ENV_PRESET"));
    EXPECT_EQ(std::nullopt, ProcessValue(L"LANG"));
    EXPECT_STREQ("C", std::setlocale(LC_ALL, nullptr));
    // Without a command the process takes them, but LANG, in any letter case, names its
    // locale, no variable; the C runtime's copy too holds what the ANSI code page cannot.
    sandbox.WriteSettings("[ctrl.env]\nLang=English_United States.1252\nKA_ENV_PRESET=\n"
                          "X=a b=\xE7\x94\xA8\xEF\xBC\xBC\xF0\x9F\x98\x80%$\"\n");
    KaCtrl::SetEnvPath(Command_t());
    const std::wstring x = L"a b=\x7528\xFF3C\U0001F600%$\"";
    EXPECT_EQ(Value(x), ProcessValue(L"X"));
    EXPECT_STREQ(x.c_str(), _wgetenv(L"X"));
    // The C runtime takes "KA_ENV_PRESET=" as removal: no process variable is empty.
    EXPECT_EQ(std::nullopt, ProcessValue(L"KA_ENV_PRESET"));
    EXPECT_EQ(std::nullopt, ProcessValue(L"LANG"));
    EXPECT_STREQ("English_United States.1252", std::setlocale(LC_ALL, nullptr));
    // An unreadable settings file reaches the caller and changes nothing.
    sandbox.WriteSettings("[ctrl.env.append]\nX=1\n[ctrl.env]\nX=1\nnot a setting\n");
    EXPECT_THROW(KaCtrl::SetEnvPath(Command_t()), KaTekMsg::Exception_t);
    EXPECT_THROW(KaCtrl::AppendEnvVariable(kAppend, Command_t()), KaTekMsg::Exception_t);
    EXPECT_EQ(Value(x), ProcessValue(L"X"));
}

TEST_F(Env, AppendEnvVariableCombinesTheBaseAndTheConfiguredText) {
    const struct {
        bool append;
        const char* base;        // "ctrl.env"
        const char* text;        // "ctrl.env.append" or "ctrl.env.prepend"
        const wchar_t* processX; // "": none
        std::wstring returned;   // and the child's X
    } cases[] = {
        {kAppend, "X=a", "X=b;c", L"", L"a;b;c"},
        {kPrepend, "X=a;b", "X=b", L"", L"b;a"},
        // Empty text: the base alone, cleaned.
        {kAppend, "X=a; A ;c\\d", "X=", L"", L"a;c/d"},
        // The base comes from the process when "ctrl.env" has none or an empty one.
        {kAppend, "", "X=q", L"p", L"p;q"},
        {kPrepend, "X=", "X=q", L"p", L"q;p"},
        {kAppend, "X=a", "X=q", L"p", L"a;q"},
        // No base, no text: still set, empty.
        {kAppend, "", "X=", L"", L""},
        // Several variables, the last returned: X comes last in the file and by name.
        {kAppend, "V=a", "V=b\nW=c\nX=d;D", L"", L"d"},
        // "PATH" is never extended, however it is written, though X still is.
        {kPrepend, "", "X=b\nPATH=C:\\extra", L"", L"b"},
        {kAppend, "", "Path=C:\\extra\nX=b", L"", L"b"},
        // Names compare as the platform's do: "x" in "ctrl.env" is X's base.
        {kAppend, "x=a", "X=q", L"p", L"a;q"},
    };
    const Value path = ProcessValue(L"PATH");
    for (const auto& c : cases) {
        const std::string settings = std::string("[ctrl.env]\n") + c.base + "\n[ctrl.env." +
                                     (c.append ? "append" : "prepend") + "]\n" + c.text + "\n";
        SCOPED_TRACE(settings);
        sandbox.WriteSettings(settings);
        KaTest::SetEnv(L"X", c.processX);
        Command_t command = ChildCommand(L"env", {L"X", L"PATH"});
        EXPECT_EQ(c.returned, KaCtrl::AppendEnvVariable(c.append, command).Std());
        EXPECT_EQ(RunChild(command), (Seen{c.returned, path}));
        EXPECT_EQ(*c.processX ? Value(c.processX) : std::nullopt, ProcessValue(L"X"))
            << "the process changed";
        // Without a command the same values go into the process, an empty one removing X.
        EXPECT_EQ(c.returned, KaCtrl::AppendEnvVariable(c.append, Command_t()).Std());
        EXPECT_EQ(c.returned.empty() ? std::nullopt : Value(c.returned), ProcessValue(L"X"));
        EXPECT_EQ(path, ProcessValue(L"PATH"));
    }
    // Two calls on one command: the second replaces the first's value, which is no base:
    // nor would a value the caller gave the command be. Without a command the second
    // builds on the first, which changed the process.
    KaTest::SetEnv(L"X", L"a");
    sandbox.WriteSettings("[ctrl.env.prepend]\nX=p\n[ctrl.env.append]\nX=q\n");
    Command_t command = ChildCommand(L"env", {L"X"});
    EXPECT_EQ(L"p;a", KaCtrl::AppendEnvVariable(kPrepend, command).Std());
    EXPECT_EQ(L"a;q", KaCtrl::AppendEnvVariable(kAppend, command).Std());
    EXPECT_EQ(RunChild(command), Seen{L"a;q"});
    EXPECT_EQ(L"p;a", KaCtrl::AppendEnvVariable(kPrepend, Command_t()).Std());
    EXPECT_EQ(L"p;a;q", KaCtrl::AppendEnvVariable(kAppend, Command_t()).Std());
}

// The one trace record of the library, "Append returns " and the value, written when
// "ctrl.utils" is traced at level 1, and nothing otherwise. The runtime attaches a trace object
// once per process, so each case runs in a child of its own.
TEST_F(Env, AppendEnvVariableTracesWhatItReturnsAtLevelOneOfItsArea) {
    const std::wstring file = sandbox.Root() + L"\\trace.log";
    // The areas and level traced ("": no trace settings at all), and the records expected.
    const std::pair<std::string, int> cases[] = {{"AREAS=ctrl.utils\nLEVEL=1", 1},
                                                 {"AREAS=*\nLEVEL=0xFFFFFFFF", 1},
                                                 {"AREAS=ctrl.utils\nLEVEL=6", 0},
                                                 {"", 0}};
    for (const auto& [traced, count] : cases) {
        const std::string trace =
            traced.empty() ? "" : "[tek.trace]\n" + traced + "\nFILE=" + KaTest::Utf8(file) + "\n";
        SCOPED_TRACE(trace);
        sandbox.WriteSettings(trace + "[ctrl.env]\nX=a\n[ctrl.env.append]\nW=c\nX=b\n");
        std::filesystem::remove(std::filesystem::path(file));
        RunChild(ChildCommand(L"trace"));
        const std::string records = KaTest::ReadBytes(file);
        EXPECT_TRUE(std::regex_match(records, std::regex("([^\n]* ctrl\\.utils 1 Append returns "
                                                         "a;b \\(\\.\\./Utils:758\\)\r?\n){" +
                                                         std::to_string(count) + "}")))
            << records;
    }
    // Without trace settings the runtime's default file lies below the log directory.
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(sandbox.DataDir() + L"\\log")));
}

TEST(AvoidDuplicate, CleansEdgeCases) {
    const struct {
        const char* what;
        std::wstring list, cleaned;
    } cases[] = {
        {"outer and doubled separators", L";a;;b;", L"a;b"},
        {"case and blanks, first form kept", L" a\t;\r\nA ;\f\vb ", L"a;b"},
        {"repeats in case and slash direction, first occurrences in order",
         L"C:\\Tools;b;c:/tools;\\\\srv\\Share;b;//SRV/share", L"C:/Tools;b;//srv/Share"},
        {"nothing else is normalised", L"C:/a;C:/a/;C:/./a;C:/a b;c:/A b ;C:/ab",
         L"C:/a;C:/a/;C:/./a;C:/a b;C:/ab"},
        {"a blank first adds nothing, yet takes the empty key", L" ; ;a; ;b", L"a;b"},
        {"a blank after a kept entry, once", L"a; ; ;b", L"a;;b"},
        {"a NUL ends the list, as a C string", std::wstring(L"a;b\0;c", 6), L"a;b"},
        {"letters outside the ANSI code page kept, letter case inside it ignored",
         L"C:\\\u4E2D;c:/\u6587;Caf\u00E9;CAF\u00C9", L"C:/\u4E2D;c:/\u6587;Caf\u00E9"},
    };
    // Whatever comes in, a text (never the null text) comes out.
    EXPECT_FALSE(KaCtrl::AvoidDuplicate(String_t::Null()).IsNull());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const String_t list(c.list.c_str(), static_cast<uint32_t>(c.list.size()));
        EXPECT_EQ(c.cleaned, KaCtrl::AvoidDuplicate(list).Std());
    }
}

// The keys AvoidDuplicate compares, by a model of its own: the pieces of a ";" list up to its
// first NUL, slashes for backslashes, blanks (space, tab, CR, LF, VT, FF) off both ends, and
// lower case by the C runtime (the generator's case variants come from it too).
std::vector<std::wstring> Keys(std::wstring list) {
    std::replace(list.begin(), list.end(), L'\\', L'/');
    std::wistringstream pieces(list.substr(0, list.find(L'\0')));
    std::vector<std::wstring> keys;
    for (std::wstring piece; std::getline(pieces, piece, L';');) {
        if (!piece.empty()) {
            piece.erase(0, piece.find_first_not_of(L" \t\r\n\v\f"));
            piece.erase(piece.find_last_not_of(L" \t\r\n\v\f") + 1);
            std::transform(piece.begin(), piece.end(), piece.begin(), towlower);
            keys.push_back(piece);
        }
    }
    return keys;
}

// Lists drawn from a few entries, repeated in other letter case and blanks: the result
// holds no backslash and no entry twice, yet every entry of the list in one of its forms.
TEST(AvoidDuplicate, GeneratedListsKeepEveryEntryOnceAndNoBackslash) {
    KaTest::Generator gen{std::mt19937(13)};
    for (int round = 0; round < 400; ++round) {
        std::vector<std::wstring> pool(1 + gen.Below(5));
        std::generate(pool.begin(), pool.end(), [&] { return gen.Text(6); });
        std::wstring list;
        for (size_t piece = gen.Below(12); piece > 0; --piece) {
            std::wstring entry = pool[gen.Below(pool.size())];
            std::transform(entry.begin(), entry.end(), entry.begin(),
                           gen.Below(2) ? towupper : towlower);
            list += (gen.Below(3) ? L";" : L"; ;") + entry + (gen.Below(2) ? L" " : L"");
        }
        const std::wstring cleaned = KaCtrl::AvoidDuplicate(String_t(list)).Std();
        SCOPED_TRACE(KaTest::Utf8(list) + " gave " + KaTest::Utf8(cleaned));
        EXPECT_EQ(std::wstring::npos, cleaned.find(L'\\'));
        const std::vector<std::wstring> kept = Keys(cleaned);
        EXPECT_EQ(kept.size(), std::set<std::wstring>(kept.begin(), kept.end()).size());
        for (const std::wstring& key : Keys(list)) {
            EXPECT_TRUE(key.empty() || std::count(kept.begin(), kept.end(), key)) << "lost";
        }
    }
}

// The process's value is read from its environment block, exactly and whole, however it was
// set (the C runtime's copies never see a value set beside them); one longer than a variable
// holds is refused naming it, leaving the process as it was. The block tells an empty value
// from none.
// The process takes a value of up to 32,766 units, the most an environment variable holds
// with its NUL; one unit more is refused aloud, naming the variable, and leaves it as it was.
TEST_F(Env, ProcessValuesAtTheEnvironmentLimit) {
    for (const size_t length : {32766u, 32767u, 32768u}) {
        sandbox.WriteSettings("[ctrl.env]\nX=" + std::string(length, 'q') + "\n");
        const std::string thrown = KaTest::Thrown([] { KaCtrl::SetEnvPath(Command_t()); });
        EXPECT_EQ(thrown == "(no exception)", length == 32766) << length << ": " << thrown;
        EXPECT_EQ(ProcessValue(L"X").value_or(L"").size(), size_t{32766}) << length;
    }
}

TEST_F(Env, ProcessValuesReadExactlyAndOverlongOnesRefused) {
    const std::wstring exact = L"\x7528\x8868;" + std::wstring(30000, L'p');
    ASSERT_TRUE(SetEnvironmentVariableW(L"X", exact.c_str()));
    sandbox.WriteSettings("[ctrl.env.append]\nX=" + std::string(3000, 'q') + "\n");
    const Command_t command(String_t("unused.exe"), {});
    EXPECT_TRUE(KaCtrl::AppendEnvVariable(kAppend, command).Std() ==
                exact + L";" + std::wstring(3000, L'q'));
    EXPECT_PRED2(KaTest::Contains,
                 KaTest::Thrown([] { KaCtrl::AppendEnvVariable(kAppend, Command_t()); }),
                 "'X' refused");
    EXPECT_TRUE(KaTekEnv::GetProcessEnv(String_t("X")).Std() == exact);
    ASSERT_TRUE(SetEnvironmentVariableW(L"W", L""));
    EXPECT_EQ(L"", KaTekEnv::GetProcessEnv(String_t("W")).Std());
    EXPECT_FALSE(KaTekEnv::GetProcessEnv(String_t("W")).IsNull());
    EXPECT_TRUE(KaTekEnv::GetProcessEnv(String_t("V")).IsNull());
}

// ./ka test runs the suite under several ANSI code pages, each run naming the one it asks for:
// a run that silently fell back to another page would prove nothing about it.
TEST(CodePage, IsTheOneTheRunAsksFor) {
    const Value asked = ProcessValue(L"KA_TEST_ACP");
    EXPECT_EQ(asked.value_or(std::to_wstring(GetACP())), std::to_wstring(GetACP()));
}

} // namespace
