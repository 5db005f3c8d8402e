// SetEnvPath and AppendEnvVariable: the variables a real child receives through its
// command, and the calling process's own environment when no command is given.
#include "KaCtrlUtils.h"
#include "Sandbox.h"
#include "Standin.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <clocale>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

using KaTekCmd::Command_t;
using KaTekStr::String_t;
using Value = std::optional<std::wstring>; // none: no such variable
using Environment = std::map<std::wstring, std::wstring>;

constexpr bool kAppend = true;
constexpr bool kPrepend = false;

Value Optional(const wchar_t* value) {
    return value ? Value(value) : std::nullopt;
}

Command_t ChildCommand() {
    return Command_t(String_t(KaTest::ProgramDir() + L"env_child.exe"), {});
}

// Starts command and answers the environment the child printed, the names in upper case:
// Windows compares them without regard to letter case.
Environment RunChild(Command_t command) {
    command.Start();
    // The machine is shared and Wine is slow.
    EXPECT_TRUE(command.Wait(120000)) << "env_child.exe did not end";
    std::wistringstream lines(command.GetOutput().Std());
    Environment seen;
    for (std::wstring line; std::getline(lines, line);) {
        line.erase(line.find_last_not_of(L'\r') + 1);
        // Per-drive entries ("=C:=C:\dir") begin with '=', so the name ends at a later one.
        const size_t equals = line.find(L'=', 1);
        std::wstring name = line.substr(0, equals);
        std::transform(name.begin(), name.end(), name.begin(), ::towupper);
        if (equals != std::wstring::npos) {
            seen[name] = line.substr(equals + 1);
        }
    }
    return seen;
}

Value ValueIn(const Environment& seen, const std::wstring& name) {
    const auto found = seen.find(name);
    return found == seen.end() ? std::nullopt : Value(found->second);
}

// The value of name in this process's environment, as the platform holds it.
Value ProcessValue(const wchar_t* name) {
    std::vector<wchar_t> value(32767);
    SetLastError(0);
    const DWORD length = GetEnvironmentVariableW(name, value.data(), 32767);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        return std::nullopt;
    }
    return std::wstring(value.data(), length);
}

// Each test starts and ends without these variables in the process and with the "C"
// locale, so that one test's changes to the process never reach the next.
class Env : public testing::Test {
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Reset(); }
    static void Reset() {
        for (const wchar_t* name : {L"LANG", L"X", L"Y", L"Z", L"KA_ENV_PRESET"}) {
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
    Command_t command = ChildCommand();
    KaCtrl::SetEnvPath(command);
    const Environment seen = RunChild(command);
    const std::pair<const wchar_t*, const wchar_t*> expected[] = {
        {L"LANG", L"en_US"},        {L"X", L""},     {L"Y", L" a=b;c\\d;c/D "},
        {L"KA_ENV_PRESET", L"new"}, {L"Z", nullptr}, {L"PATH", L"C:\\configured;c:/CONFIGURED"},
    };
    for (const auto& [name, value] : expected) {
        EXPECT_EQ(Optional(value), ValueIn(seen, name)) << name;
    }
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
        const char* base; // "ctrl.env"
        const char* text; // "ctrl.env.append" or "ctrl.env.prepend"
        const wchar_t* processX;
        const wchar_t* commandX;
        const wchar_t* returned;
        const wchar_t* childX;
    } cases[] = {
        {kAppend, "X=a", "X=b;c", nullptr, nullptr, L"a;b;c", L"a;b;c"},
        {kPrepend, "X=a;b", "X=b", nullptr, nullptr, L"b;a", L"b;a"},
        {kAppend, "X=a;", "X=b", nullptr, nullptr, L"a;b", L"a;b"},
        // Empty text: the base alone, cleaned.
        {kAppend, "X=a; A ;c\\d", "X=", nullptr, nullptr, L"a;c/d", L"a;c/d"},
        // The base comes from the process when "ctrl.env" has none or an empty one.
        {kAppend, "", "X=q", L"p", nullptr, L"p;q", L"p;q"},
        {kPrepend, "X=", "X=q", L"p", nullptr, L"q;p", L"q;p"},
        {kAppend, "X=a", "X=q", L"p", nullptr, L"a;q", L"a;q"},
        // No base: the text alone, cleaned; still set when empty.
        {kAppend, "", "X= q ;Q;r\\s", nullptr, nullptr, L"q;r/s", L"q;r/s"},
        {kAppend, "", "X=", nullptr, nullptr, L"", L""},
        // The command's own value is no base.
        {kAppend, "", "X=q", nullptr, L"mine", L"q", L"q"},
        {kAppend, "X=C:\\Tools", "X=c:/tools;D:\\Bin", nullptr, nullptr, L"C:/Tools;D:/Bin",
         L"C:/Tools;D:/Bin"},
        // Several variables, the last returned.
        {kAppend, "X=a", "X=b\nY=c\nZ=d;D", nullptr, nullptr, L"d", L"a;b"},
        // "PATH" is never extended.
        {kAppend, "", "X=b\nPATH=C:\\extra", nullptr, nullptr, L"b", L"b"},
        {kPrepend, "", "PATH=C:\\extra", nullptr, nullptr, L"", nullptr},
    };
    const Value path = ProcessValue(L"PATH");
    for (const auto& c : cases) {
        const std::string settings = std::string("[ctrl.env]\n") + c.base + "\n[ctrl.env." +
                                     (c.append ? "append" : "prepend") + "]\n" + c.text + "\n";
        SCOPED_TRACE(settings);
        sandbox.WriteSettings(settings);
        KaTest::SetEnv(L"X", c.processX ? c.processX : L"");
        Command_t command = ChildCommand();
        if (c.commandX) {
            command.PutEnv(String_t(L"X"), String_t(c.commandX));
        }
        EXPECT_EQ(c.returned, KaCtrl::AppendEnvVariable(c.append, command).Std());
        const Environment seen = RunChild(command);
        EXPECT_EQ(Optional(c.childX), ValueIn(seen, L"X"));
        EXPECT_EQ(path, ValueIn(seen, L"PATH"));
        EXPECT_EQ(Optional(c.processX), ProcessValue(L"X")) << "the process changed";
        if (c.commandX) {
            continue;
        }
        // Without a command the same values go into the process, an empty one removing X.
        EXPECT_EQ(c.returned, KaCtrl::AppendEnvVariable(c.append, Command_t()).Std());
        EXPECT_EQ(c.childX && *c.childX ? Value(c.childX) : std::nullopt, ProcessValue(L"X"));
        EXPECT_EQ(path, ProcessValue(L"PATH"));
    }
}

TEST_F(AppendEnvVariable, BuildsEachCallOnTheProcessNotOnTheCommand) {
    // Two calls on one command: the second replaces the first's value. Without a command
    // the second builds on the first, which changed the process.
    KaTest::SetEnv(L"X", L"a");
    sandbox.WriteSettings("[ctrl.env.prepend]\nX=p\n[ctrl.env.append]\nX=q\n");
    Command_t command = ChildCommand();
    EXPECT_EQ(L"p;a", KaCtrl::AppendEnvVariable(kPrepend, command).Std());
    EXPECT_EQ(L"a;q", KaCtrl::AppendEnvVariable(kAppend, command).Std());
    EXPECT_EQ(Value(L"a;q"), ValueIn(RunChild(command), L"X"));
    EXPECT_EQ(L"p;a", KaCtrl::AppendEnvVariable(kPrepend, Command_t()).Std());
    EXPECT_EQ(L"p;a;q", KaCtrl::AppendEnvVariable(kAppend, Command_t()).Std());
}

} // namespace
