// SetEnvPath: the variables a real child receives through its command, and the calling
// process's own environment and locale when no command is given.
#include "EnvTestSupport.h"
#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <clocale>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using EnvTest::ProcessGuard;
using EnvTest::ValueIn;
using KaTekCmd::Command_t;

struct Expected {
    std::wstring name;
    std::optional<std::wstring> value; // none: the child has no such variable
};

struct CommandCase {
    const char* what;
    std::string settings;
    std::vector<Expected> expected;
};

TEST(SetEnvPath, GivesTheChildTheConfiguredVariables) {
    const CommandCase cases[] = {
        {"LANG and X", "[ctrl.env]\nLANG=en_US\nX=1\n", {{L"LANG", L"en_US"}, {L"X", L"1"}}},
        {"an empty value", "[ctrl.env]\nX=\nY=2\n", {{L"X", L""}, {L"Y", L"2"}}},
        {"values exactly as written",
         "[ctrl.env]\nX= a=b;c\\d;c/D \nY=$KaBinDir\\x\n",
         {{L"X", L" a=b;c\\d;c/D "}, {L"Y", L"$KaBinDir\\x"}}},
        {"PATH as configured",
         "[ctrl.env]\nPATH=C:\\configured;c:/CONFIGURED\n",
         {{L"PATH", L"C:\\configured;c:/CONFIGURED"}}},
        {"a variable the process has is replaced",
         "[ctrl.env]\nKA_ENV_PRESET=new\n",
         {{L"KA_ENV_PRESET", L"new"}}},
        {"no namespace", "[ctrl.env.append]\nX=1\n", {{L"X", std::nullopt}}},
    };
    KaTest::Sandbox sandbox;
    ProcessGuard guard({L"LANG", L"X", L"Y", L"KA_ENV_PRESET"});
    KaTest::SetEnv(L"KA_ENV_PRESET", L"old");
    const std::string localeBefore = std::setlocale(LC_ALL, nullptr);
    for (const CommandCase& c : cases) {
        SCOPED_TRACE(c.what);
        sandbox.WriteSettings(c.settings);
        Command_t command = EnvTest::MakeChildCommand();
        KaCtrl::SetEnvPath(command);
        const EnvTest::Environment seen = EnvTest::RunChild(command);
        for (const Expected& expected : c.expected) {
            EXPECT_EQ(expected.value, ValueIn(seen, expected.name)) << KaTest::Utf8(expected.name);
        }
        // The command alone changes: not this process, nor its locale.
        EXPECT_EQ(std::nullopt, EnvTest::PlatformValue(L"X"));
        EXPECT_EQ(std::wstring(L"old"), EnvTest::PlatformValue(L"KA_ENV_PRESET"));
        EXPECT_EQ(localeBefore, std::setlocale(LC_ALL, nullptr));
    }
}

TEST(SetEnvPath, PutsVariablesIntoTheProcessForANullCommand) {
    KaTest::Sandbox sandbox;
    ProcessGuard guard({L"LANG", L"X", L"Y"});
    sandbox.WriteSettings("[ctrl.env]\nLANG=English_United States.1252\nX=1\nY=a b=c\n");
    KaCtrl::SetEnvPath(Command_t());

    EXPECT_EQ(std::wstring(L"1"), EnvTest::PlatformValue(L"X"));
    EXPECT_EQ(std::string("1"), EnvTest::RuntimeValue("X"));
    EXPECT_EQ(std::wstring(L"a b=c"), EnvTest::PlatformValue(L"Y"));
    EXPECT_EQ(std::string("a b=c"), EnvTest::RuntimeValue("Y"));
    // LANG names the locale; it is no variable of the process.
    EXPECT_EQ(std::nullopt, EnvTest::PlatformValue(L"LANG"));
    EXPECT_EQ(std::nullopt, EnvTest::RuntimeValue("LANG"));
    EXPECT_STREQ("English_United States.1252", std::setlocale(LC_ALL, nullptr));
    // A child started afterwards inherits the process's new variables.
    const EnvTest::Environment seen = EnvTest::RunChild(EnvTest::MakeChildCommand());
    EXPECT_EQ(std::wstring(L"1"), ValueIn(seen, L"X"));
}

// What the C runtime itself makes of a locale name: "C" stays when it rejects the name.
std::string LocaleNamed(const std::string& name) {
    std::setlocale(LC_ALL, "C");
    const char* chosen = std::setlocale(LC_ALL, name.c_str());
    std::string answer = chosen ? chosen : "C";
    std::setlocale(LC_ALL, "C");
    return answer;
}

TEST(SetEnvPath, SetsTheLocaleLangNamesForANullCommand) {
    KaTest::Sandbox sandbox;
    ProcessGuard guard({L"LANG"});
    for (const std::string name : {"English_United States.1252", "German_Germany.1252", "en_US",
                                   "en-US", "C", "no such locale", ""}) {
        SCOPED_TRACE(name);
        const std::string expected = LocaleNamed(name);
        // Shown in the log: what this runtime makes of each name, "en_US" among them.
        std::cout << "LANG=\"" << name << "\" gives the locale \"" << expected << "\"\n";
        sandbox.WriteSettings("[ctrl.env]\nLANG=" + name + "\n");
        KaCtrl::SetEnvPath(Command_t());
        EXPECT_EQ(expected, std::setlocale(LC_ALL, nullptr));
        std::setlocale(LC_ALL, "C");
    }
}

TEST(SetEnvPath, RemovesAProcessVariableConfiguredEmpty) {
    // "X=" handed to the C runtime removes X from the process: no process variable is empty.
    KaTest::Sandbox sandbox;
    ProcessGuard guard({L"X"});
    KaTest::SetEnv(L"X", L"old");
    sandbox.WriteSettings("[ctrl.env]\nX=\n");
    KaCtrl::SetEnvPath(Command_t());
    EXPECT_EQ(std::nullopt, EnvTest::PlatformValue(L"X"));
    EXPECT_EQ(std::nullopt, EnvTest::RuntimeValue("X"));
}

TEST(SetEnvPath, RelaysAnUnreadableSettingsFile) {
    KaTest::Sandbox sandbox;
    ProcessGuard guard({L"X"});
    sandbox.WriteSettings("[ctrl.env]\nX=1\nnot a setting\n");
    EXPECT_THROW(KaCtrl::SetEnvPath(Command_t()), KaTekMsg::Exception_t);
    EXPECT_EQ(std::nullopt, EnvTest::PlatformValue(L"X"));
}

// The library hands the C runtime an entry that it frees on return; this holds only
// because the runtime keeps its own copy, which is checked here on the runtime itself.
TEST(SetEnvPath, RestsOnTheRuntimeCopyingPutenvEntries) {
    ProcessGuard guard({L"KA_ENV_COPY_PROBE"});
    const char kept[] = "KA_ENV_COPY_PROBE=kept";
    auto entry = std::make_unique<char[]>(sizeof(kept));
    std::memcpy(entry.get(), kept, sizeof(kept));
    ASSERT_EQ(0, _putenv(entry.get()));
    // Were the runtime to keep the pointer, it would now read "gone", then freed memory.
    std::memcpy(entry.get(), "KA_ENV_COPY_PROBE=gone", sizeof(kept));
    entry.reset();
    EXPECT_EQ(std::string("kept"), EnvTest::RuntimeValue("KA_ENV_COPY_PROBE"));
    EXPECT_EQ(std::wstring(L"kept"), EnvTest::PlatformValue(L"KA_ENV_COPY_PROBE"));
}

} // namespace
