// SetEnvPath and AppendEnvVariable: the variables a real child receives through its
// command, and the calling process's own environment when no command is given. And
// AvoidDuplicate: the edge cases of the cleaning rules, in one table.
#include "KaCtrlUtils.h"
#include "Sandbox.h"
#include "Standin.h"

#include <gtest/gtest.h>

#include <clocale>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using KaTekCmd::Command_t;
using KaTekStr::String_t;
using Value = std::optional<std::wstring>; // none: no such variable
using Seen = std::vector<Value>;

constexpr bool kAppend = true, kPrepend = false;

// A command of env_child.exe, which reports the variables names in its environment.
Command_t ChildCommand(std::initializer_list<const wchar_t*> names) {
    return Command_t(String_t(KaTest::ProgramDir() + L"env_child.exe"),
                     {names.begin(), names.end()});
}

// Starts command and answers what the child saw of each name it was given.
Seen RunChild(Command_t command) {
    command.Start();
    // The machine is shared and Wine is slow.
    EXPECT_TRUE(command.Wait(120000)) << "env_child.exe did not end";
    std::wistringstream lines(command.GetOutput().Std());
    Seen seen;
    for (std::wstring line; std::getline(lines, line);) {
        seen.push_back(line[0] == L'=' ? Value(line.substr(1, line.find(L'\r') - 1))
                                       : std::nullopt);
    }
    return seen;
}

// The value of name in this process's environment, as the platform holds it.
Value ProcessValue(const wchar_t* name) {
    wchar_t text[32767];
    SetLastError(0);
    const DWORD size = GetEnvironmentVariableW(name, text, 32767);
    return size || GetLastError() != ERROR_ENVVAR_NOT_FOUND ? Value({text, size}) : std::nullopt;
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
using SetEnvPath = Env;
using AppendEnvVariable = Env;

TEST_F(SetEnvPath, GivesTheChildTheConfiguredVariables) {
    KaTest::SetEnv(L"KA_ENV_PRESET", L"old");
    // Z in another namespace is a decoy.
    sandbox.WriteSettings("[ctrl.env]\nLANG=en_US\nX=\nY= a=b;c\\d;c/D \nKA_ENV_PRESET=new\n"
                          "PATH=C:\\configured;c:/CONFIGURED\n[ctrl.env.append]\nZ=1\n");
    Command_t command = ChildCommand({L"LANG", L"X", L"Y", L"KA_ENV_PRESET", L"Z", L"Path"});
    KaCtrl::SetEnvPath(command);
    EXPECT_EQ(RunChild(command), (Seen{L"en_US", L"", L" a=b;c\\d;c/D ", L"new", std::nullopt,
                                       L"C:\\configured;c:/CONFIGURED"}));
    // The command alone changes: not this process, nor its locale.
    EXPECT_EQ(Value(L"old"), ProcessValue(L"KA_ENV_PRESET"));
    EXPECT_EQ(std::nullopt, ProcessValue(L"LANG"));
    EXPECT_STREQ("C", std::setlocale(LC_ALL, nullptr));
}

TEST_F(SetEnvPath, PutsVariablesAndTheLocaleIntoTheProcessForANullCommand) {
    KaTest::SetEnv(L"Y", L"old");
    sandbox.WriteSettings("[ctrl.env]\nLANG=English_United States.1252\nX=a b=c\nY=\n");
    KaCtrl::SetEnvPath(Command_t());
    EXPECT_EQ(Value(L"a b=c"), ProcessValue(L"X"));
    // The C runtime takes "Y=" as removal: no process variable is empty.
    EXPECT_EQ(std::nullopt, ProcessValue(L"Y"));
    // LANG names the locale; it is no variable of the process.
    EXPECT_EQ(std::nullopt, ProcessValue(L"LANG"));
    EXPECT_STREQ("English_United States.1252", std::setlocale(LC_ALL, nullptr));
}

TEST_F(Env, UnreadableSettingsReachTheCaller) {
    sandbox.WriteSettings("[ctrl.env.append]\nX=1\n[ctrl.env]\nX=1\nnot a setting\n");
    EXPECT_THROW(KaCtrl::SetEnvPath(Command_t()), KaTekMsg::Exception_t);
    EXPECT_THROW(KaCtrl::AppendEnvVariable(kAppend, Command_t()), KaTekMsg::Exception_t);
    EXPECT_EQ(std::nullopt, ProcessValue(L"X"));
}

TEST_F(AppendEnvVariable, CombinesTheBaseAndTheConfiguredText) {
    const struct {
        bool append;
        const char* base;        // "ctrl.env"
        const char* text;        // "ctrl.env.append" or "ctrl.env.prepend"
        const wchar_t* processX; // "": none
        std::wstring returned;   // and the child's X
    } cases[] = {
        {kAppend, "X=a", "X=b;c", L"", L"a;b;c"},
        {kPrepend, "X=a;b", "X=b", L"", L"b;a"},
        {kAppend, "X=a;", "X=b", L"", L"a;b"},
        // Empty text: the base alone, cleaned.
        {kAppend, "X=a; A ;c\\d", "X=", L"", L"a;c/d"},
        // The base comes from the process when "ctrl.env" has none or an empty one.
        {kAppend, "", "X=q", L"p", L"p;q"},
        {kPrepend, "X=", "X=q", L"p", L"q;p"},
        {kAppend, "X=a", "X=q", L"p", L"a;q"},
        // No base: the text alone, cleaned; still set when empty.
        {kAppend, "", "X= q ;Q;r\\s", L"", L"q;r/s"},
        {kAppend, "", "X=", L"", L""},
        {kAppend, "X=C:\\Tools", "X=c:/tools;D:\\Bin", L"", L"C:/Tools;D:/Bin"},
        // Several variables, the last returned: X comes last in the file and by name.
        {kAppend, "V=a", "V=b\nW=c\nX=d;D", L"", L"d"},
        // "PATH" is never extended, though X still is.
        {kAppend, "", "X=b\nPATH=C:\\extra", L"", L"b"},
        {kPrepend, "", "X=b\nPATH=C:\\extra", L"", L"b"},
    };
    const Value path = ProcessValue(L"PATH");
    for (const auto& c : cases) {
        const std::string settings = std::string("[ctrl.env]\n") + c.base + "\n[ctrl.env." +
                                     (c.append ? "append" : "prepend") + "]\n" + c.text + "\n";
        SCOPED_TRACE(settings);
        sandbox.WriteSettings(settings);
        KaTest::SetEnv(L"X", c.processX);
        Command_t command = ChildCommand({L"X", L"PATH"});
        EXPECT_EQ(c.returned, KaCtrl::AppendEnvVariable(c.append, command).Std());
        EXPECT_EQ(RunChild(command), (Seen{c.returned, path}));
        EXPECT_EQ(*c.processX ? Value(c.processX) : std::nullopt, ProcessValue(L"X"))
            << "the process changed";
        // Without a command the same values go into the process, an empty one removing X.
        EXPECT_EQ(c.returned, KaCtrl::AppendEnvVariable(c.append, Command_t()).Std());
        EXPECT_EQ(c.returned.empty() ? std::nullopt : Value(c.returned), ProcessValue(L"X"));
        EXPECT_EQ(path, ProcessValue(L"PATH"));
    }
}

TEST_F(AppendEnvVariable, BuildsEachCallOnTheProcessNotOnTheCommand) {
    // Two calls on one command: the second replaces the first's value, which is no base:
    // nor would a value the caller gave the command be. Without a command the second
    // builds on the first, which changed the process.
    KaTest::SetEnv(L"X", L"a");
    sandbox.WriteSettings("[ctrl.env.prepend]\nX=p\n[ctrl.env.append]\nX=q\n");
    Command_t command = ChildCommand({L"X"});
    EXPECT_EQ(L"p;a", KaCtrl::AppendEnvVariable(kPrepend, command).Std());
    EXPECT_EQ(L"a;q", KaCtrl::AppendEnvVariable(kAppend, command).Std());
    EXPECT_EQ(RunChild(command), Seen{L"a;q"});
    EXPECT_EQ(L"p;a", KaCtrl::AppendEnvVariable(kPrepend, Command_t()).Std());
    EXPECT_EQ(L"p;a;q", KaCtrl::AppendEnvVariable(kAppend, Command_t()).Std());
}

TEST(AvoidDuplicate, CleansEdgeCases) {
    const struct {
        const char* what;
        std::wstring list, cleaned;
    } cases[] = {
        {"empty", L"", L""},
        {"separators only", L";;;", L""},
        {"outer and doubled separators", L";a;;b;", L"a;b"},
        {"repeats, first occurrences in order", L"a;b;a;c;b", L"a;b;c"},
        {"case and blanks, first form kept", L" a\t;\r\nA ;\f\vb ", L"a;b"},
        {"case and slash direction", L"C:\\Tools;c:/tools;\\\\srv\\Share;//SRV/share",
         L"C:/Tools;//srv/Share"},
        {"nothing else is normalised", L"C:/a;C:/a/;C:/./a;C:/a b;c:/A b ;C:/ab",
         L"C:/a;C:/a/;C:/./a;C:/a b;C:/ab"},
        {"a blank first adds nothing, yet takes the empty key", L" ; ;a; ;b", L"a;b"},
        {"a blank after a kept entry, once", L"a; ; ;b", L"a;;b"},
        {"a blank last after a kept entry", L"a; ", L"a;"},
        {"a NUL ends the list, as a C string", std::wstring(L"a;b\0;c", 6), L"a;b"},
        {"outside the ANSI code page", L"C:\\\u4E2D;c:/\u6587;D:/x", L"C:/\u4E2D;c:/\u6587;D:/x"},
        {"letter case inside the ANSI code page", L"Caf\u00E9;CAF\u00C9;x", L"Caf\u00E9;x"},
    };
    ASSERT_EQ(1252u, GetACP()) << "the last rows assume the Western code page of Wine's prefix";
    // Whatever comes in, a text (never the null text) comes out.
    EXPECT_FALSE(KaCtrl::AvoidDuplicate(String_t::Null()).IsNull());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const String_t list(c.list.c_str(), static_cast<uint32_t>(c.list.size()));
        EXPECT_EQ(c.cleaned, KaCtrl::AvoidDuplicate(list).Std());
    }
}

} // namespace
