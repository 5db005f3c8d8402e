// AppendEnvVariable: every combination of base and configured text, seen by a real child
// through its command, and in the calling process's own environment for a null command.
#include "EnvTestSupport.h"
#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using EnvTest::ProcessGuard;
using EnvTest::ValueIn;
using KaTekCmd::Command_t;
using KaTekStr::String_t;

constexpr bool kAppend = true;
constexpr bool kPrepend = false;

struct Expected {
    std::wstring name;
    std::optional<std::wstring> value; // none: the child has no such variable
};

struct Case {
    const char* what;
    bool append;
    std::string settings;
    std::optional<std::wstring> processX; // X in this process before the call
    std::optional<std::wstring> commandX; // X put into the command before the call
    std::wstring returned;
    std::vector<Expected> expected;
};

const Case kCommandCases[] = {
    {"appended list",
     kAppend,
     "[ctrl.env]\nX=a\n[ctrl.env.append]\nX=b;c\n",
     {},
     {},
     L"a;b;c",
     {{L"X", L"a;b;c"}}},
    {"prepended and cleaned",
     kPrepend,
     "[ctrl.env]\nX=a;b\n[ctrl.env.prepend]\nX=b\n",
     {},
     {},
     L"b;a",
     {{L"X", L"b;a"}}},
    {"base ending in the separator",
     kAppend,
     "[ctrl.env]\nX=a;\n[ctrl.env.append]\nX=b\n",
     {},
     {},
     L"a;b",
     {{L"X", L"a;b"}}},
    {"prepended text ending in the separator",
     kPrepend,
     "[ctrl.env]\nX=a\n[ctrl.env.prepend]\nX=b;\n",
     {},
     {},
     L"b;a",
     {{L"X", L"b;a"}}},
    {"empty appended text: the base alone, cleaned",
     kAppend,
     "[ctrl.env]\nX=a; A ;c\\d\n[ctrl.env.append]\nX=\n",
     {},
     {},
     L"a;c/d",
     {{L"X", L"a;c/d"}}},
    {"empty prepended text: the base alone, cleaned",
     kPrepend,
     "[ctrl.env]\nX=a; A ;c\\d\n[ctrl.env.prepend]\nX=\n",
     {},
     {},
     L"a;c/d",
     {{L"X", L"a;c/d"}}},
    {"base from the process",
     kAppend,
     "[ctrl.env.append]\nX=q\n",
     L"p",
     {},
     L"p;q",
     {{L"X", L"p;q"}}},
    {"empty configured base gives way to the process",
     kPrepend,
     "[ctrl.env]\nX=\n[ctrl.env.prepend]\nX=q\n",
     L"p",
     {},
     L"q;p",
     {{L"X", L"q;p"}}},
    {"configured base before the process",
     kAppend,
     "[ctrl.env]\nX=a\n[ctrl.env.append]\nX=q\n",
     L"p",
     {},
     L"a;q",
     {{L"X", L"a;q"}}},
    {"no base: the configured text alone, cleaned",
     kAppend,
     "[ctrl.env.append]\nX= q ;Q;r\\s\n",
     {},
     {},
     L"q;r/s",
     {{L"X", L"q;r/s"}}},
    {"the command's own value is no base",
     kAppend,
     "[ctrl.env.append]\nX=q\n",
     {},
     L"mine",
     L"q",
     {{L"X", L"q"}}},
    {"case and slash direction",
     kAppend,
     "[ctrl.env]\nX=C:\\Tools\n[ctrl.env.append]\nX=c:/tools;D:\\Bin\n",
     {},
     {},
     L"C:/Tools;D:/Bin",
     {{L"X", L"C:/Tools;D:/Bin"}}},
    {"several variables, the last returned",
     kAppend,
     "[ctrl.env]\nX=a\n[ctrl.env.append]\nX=b\nY=c\nZ=d;D\n",
     {},
     {},
     L"d",
     {{L"X", L"a;b"}, {L"Y", L"c"}, {L"Z", L"d"}}},
    {"PATH appended is left alone",
     kAppend,
     "[ctrl.env.append]\nX=b\nPATH=C:\\extra\n",
     {},
     {},
     L"b",
     {{L"X", L"b"}}},
    {"PATH prepended is left alone",
     kPrepend,
     "[ctrl.env.prepend]\nPATH=C:\\extra\n",
     {},
     {},
     L"",
     {{L"X", std::nullopt}}},
    {"empty base and empty text still set",
     kAppend,
     "[ctrl.env.append]\nX=\n",
     {},
     {},
     L"",
     {{L"X", L""}}},
    {"no namespace",
     kAppend,
     "[ctrl.env]\nX=a\n[ctrl.env.prepend]\nX=b\n",
     {},
     {},
     L"",
     {{L"X", std::nullopt}}},
};

TEST(AppendEnvVariable, GivesTheChildCombinedValues) {
    KaTest::Sandbox sandbox;
    ProcessGuard guard({L"X", L"Y", L"Z"});
    for (const Case& c : kCommandCases) {
        SCOPED_TRACE(c.what);
        KaTest::SetEnv(L"X", c.processX.value_or(L""));
        sandbox.WriteSettings(c.settings);
        Command_t command = EnvTest::MakeChildCommand();
        if (c.commandX) {
            command.PutEnv(String_t(L"X"), String_t(c.commandX->c_str()));
        }
        EXPECT_EQ(c.returned, KaCtrl::AppendEnvVariable(c.append, command).Std());
        const EnvTest::Environment seen = EnvTest::RunChild(command);
        for (const Expected& expected : c.expected) {
            EXPECT_EQ(expected.value, ValueIn(seen, expected.name)) << KaTest::Utf8(expected.name);
        }
        // "PATH" is never extended, and the process is left as it was.
        EXPECT_EQ(EnvTest::PlatformValue(L"PATH"), ValueIn(seen, L"PATH"));
        EXPECT_EQ(c.processX, EnvTest::PlatformValue(L"X"));
    }
}

TEST(AppendEnvVariable, ChangesTheProcessForANullCommand) {
    const Case cases[] = {
        {"appended list",
         kAppend,
         "[ctrl.env]\nX=a\n[ctrl.env.append]\nX=b;c\n",
         {},
         {},
         L"a;b;c",
         {{L"X", L"a;b;c"}}},
        {"base from the process",
         kPrepend,
         "[ctrl.env.prepend]\nX=q;\n",
         L"p;P",
         {},
         L"q;p",
         {{L"X", L"q;p"}}},
        {"several variables",
         kAppend,
         "[ctrl.env.append]\nX=b\nY=c\nPATH=C:\\extra\n",
         {},
         {},
         L"c",
         {{L"X", L"b"}, {L"Y", L"c"}}},
        {"an empty result removes the variable",
         kAppend,
         "[ctrl.env.append]\nX=\n",
         L";",
         {},
         L"",
         {{L"X", std::nullopt}}},
    };
    KaTest::Sandbox sandbox;
    ProcessGuard guard({L"X", L"Y"});
    const std::optional<std::wstring> path = EnvTest::PlatformValue(L"PATH");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        KaTest::SetEnv(L"X", c.processX.value_or(L""));
        sandbox.WriteSettings(c.settings);
        EXPECT_EQ(c.returned, KaCtrl::AppendEnvVariable(c.append, Command_t()).Std());
        for (const Expected& expected : c.expected) {
            // The platform's copy and the C runtime's agree.
            const std::string narrowName = KaTest::Utf8(expected.name);
            EXPECT_EQ(expected.value, EnvTest::PlatformValue(expected.name)) << narrowName;
            const std::optional<std::string> runtime = EnvTest::RuntimeValue(narrowName);
            EXPECT_EQ(expected.value.has_value(), runtime.has_value()) << narrowName;
            if (expected.value && runtime) {
                EXPECT_EQ(KaTest::Utf8(*expected.value), *runtime) << narrowName;
            }
        }
        EXPECT_EQ(path, EnvTest::PlatformValue(L"PATH"));
        KaTest::SetEnv(L"Y", L"");
    }
}

TEST(AppendEnvVariable, StartsEachCallOnOneCommandAfresh) {
    // The second call's value replaces the first: the command ends with base and
    // appended text only.
    KaTest::Sandbox sandbox;
    ProcessGuard guard({L"X"});
    sandbox.WriteSettings("[ctrl.env]\nX=a\n[ctrl.env.prepend]\nX=p\n[ctrl.env.append]\nX=q\n");
    Command_t command = EnvTest::MakeChildCommand();
    EXPECT_EQ(std::wstring(L"p;a"), KaCtrl::AppendEnvVariable(kPrepend, command).Std());
    EXPECT_EQ(std::wstring(L"a;q"), KaCtrl::AppendEnvVariable(kAppend, command).Std());
    EXPECT_EQ(std::wstring(L"a;q"), ValueIn(EnvTest::RunChild(command), L"X"));
}

TEST(AppendEnvVariable, BuildsOnTheProcessForANullCommandOnlyWithoutAConfiguredBase) {
    const struct {
        const char* what;
        std::string base; // the "ctrl.env" section
        std::wstring afterPrepend;
        std::wstring afterAppend;
    } cases[] = {
        {"process base", "", L"p;a", L"p;a;q"},
        {"configured base", "[ctrl.env]\nX=a\n", L"p;a", L"a;q"},
    };
    KaTest::Sandbox sandbox;
    ProcessGuard guard({L"X"});
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KaTest::SetEnv(L"X", L"a");
        sandbox.WriteSettings(c.base + "[ctrl.env.prepend]\nX=p\n[ctrl.env.append]\nX=q\n");
        EXPECT_EQ(c.afterPrepend, KaCtrl::AppendEnvVariable(kPrepend, Command_t()).Std());
        EXPECT_EQ(c.afterPrepend, EnvTest::PlatformValue(L"X"));
        EXPECT_EQ(c.afterAppend, KaCtrl::AppendEnvVariable(kAppend, Command_t()).Std());
        EXPECT_EQ(c.afterAppend, EnvTest::PlatformValue(L"X"));
    }
}

TEST(AppendEnvVariable, RelaysAnUnreadableSettingsFile) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[ctrl.env.append]\nX=1\nnot a setting\n");
    Command_t command = EnvTest::MakeChildCommand();
    EXPECT_THROW(KaCtrl::AppendEnvVariable(kAppend, command), KaTekMsg::Exception_t);
    EXPECT_TRUE(command.GetEnv(String_t(L"X")).IsNull());
}

} // namespace
