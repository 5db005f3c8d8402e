// Directory variables resolved on a sandbox installation: its own installation and data
// directories and settings file, named to the runtime through the environment.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

using KaTekStr::String_t;

namespace {

std::wstring Slashed(std::wstring path) {
    for (wchar_t& unit : path) {
        unit = unit == L'\\' ? L'/' : unit;
    }
    return path;
}

std::wstring Resolve(const std::wstring& text) {
    return KaCtrl::ReplaceDirVariables(String_t(text)).Std();
}

// The system's temporary directory as the platform gives it: with a trailing separator.
std::wstring SystemTemp() {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD length = ::GetTempPathW(MAX_PATH + 1, buffer);
    return std::wstring(buffer, length);
}

std::wstring CurrentDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD length = ::GetCurrentDirectoryW(MAX_PATH + 1, buffer);
    return std::wstring(buffer, length);
}

struct Variable {
    std::wstring name;
    std::wstring expected;
};

// What each variable names on the sandbox, from the installation (I), data (D) and system
// temporary (T) directories, in slash form.
std::vector<Variable> AllVariables(const KaTest::Sandbox& sandbox) {
    const std::wstring I = Slashed(sandbox.InstallDir());
    const std::wstring D = Slashed(sandbox.DataDir());
    std::wstring T = Slashed(SystemTemp());
    T.pop_back();
    const std::wstring C = Slashed(CurrentDirectory());
    return {
        {L"$BinDir", I + L"/bin/win64"},
        {L"$ConfDir", D + L"/conf"},
        {L"$CurrentDir", C},
        {L"$DataConfDir", D + L"/conf"},
        {L"$DataDir", D},
        {L"$InstallDir", I},
        {L"$JavaDir", I + L"/java"},
        {L"$KaBinDir", I + L"/bin"},
        {L"$KaConfDir", D + L"/config"},
        {L"$KaCurrentDir", C},
        {L"$KaDataConfDir", D + L"/config"},
        {L"$KaDataDir", D},
        {L"$KaInstallDir", I},
        {L"$KaInstrumentationDir", I + L"/instrumentation"},
        {L"$KaJavaDir", I + L"/java"},
        {L"$KaJreBDir", I + L"/nonKA/jre/b/bin"},
        {L"$KaJreDir", I + L"/nonKA/jre/1.4/bin"},
        {L"$KaLBinDir", I + L"/lbin"},
        {L"$KaLibDir", I + L"/lib"},
        {L"$KaLogDir", D + L"/log"},
        {L"$KaMiscDir", I + L"/misc"},
        {L"$KaNonKADir", I + L"/nonKA"},
        {L"$KaPerlADir", I + L"/nonKA/perl/a/bin"},
        {L"$KaShareDir", D + L"/shared"},
        {L"$KaSystemTmpDir", T},
        {L"$KaTmpDir", D + L"/temp"},
        {L"$KaUserDir", D + L"/user"},
        {L"$LBinDir", I + L"/lbin"},
        {L"$LibDir", I + L"/lib"},
        {L"$LogDir", D + L"/log"},
        {L"$MiscDir", I + L"/misc"},
        {L"$NonKADir", I + L"/nonKA"},
        {L"$ShareDir", D + L"/shared"},
        {L"$SystemTmpDir", T},
        {L"$TmpDir", D + L"/tmp"},
        {L"$UserDir", D + L"/user"},
    };
}

// The one message of a runtime failure: catalog and number.
std::wstring CaughtFailure(const std::wstring& text) {
    try {
        KaCtrl::ReplaceDirVariables(String_t(text));
    } catch (const KaTekMsg::RuntimeError_t& error) {
        const KaTekMsg::Message_t& message = error.GetMessageList().GetMessages().at(0);
        return message.GetCatalogId().Std() + L"(" + std::to_wstring(message.GetNumber()) + L")";
    } catch (...) {
        return L"another exception";
    }
    return L"nothing thrown";
}

} // namespace

TEST(ReplaceDirVariables, EachOfTheThirtySixNames) {
    KaTest::Sandbox sandbox;
    std::vector<Variable> variables = AllVariables(sandbox);
    ASSERT_EQ(variables.size(), 36u);
    std::wstring all;
    std::wstring allExpected;
    for (const Variable& v : variables) {
        // The separator after a name is the text's own; the value brings none.
        EXPECT_EQ(Resolve(v.name + L"\\f"), v.expected + L"/f") << KaTest::Utf8(v.name);
        all += L"|" + v.name;
        allExpected += L"|" + v.expected;
    }
    EXPECT_EQ(Resolve(all), allExpected);
}

TEST(ReplaceDirVariables, TextsAroundTheNames) {
    KaTest::Sandbox sandbox;
    const std::wstring I = Slashed(sandbox.InstallDir());
    const std::wstring D = Slashed(sandbox.DataDir());
    struct Case {
        std::wstring text, expected;
    } cases[] = {
        {L"", L""},
        {L"C:\\a b\\c%20\\$ \\\\", L"C:/a b/c%20/$ //"}, // no variable: only backslashes
        {L"$KaBinDir\\a;$KaBinDir\\b;$KaBinDir", I + L"/bin/a;" + I + L"/bin/b;" + I + L"/bin"},
        {L"$KaBinDirectory", I + L"/binectory"}, // no word boundary needed
        {L"$KaBinDir$KaLibDir", I + L"/bin" + I + L"/lib"},
        {L"$$KaBinDir", L"$" + I + L"/bin"},
        {L"$KaLogDir\\kacd.log", D + L"/log/kacd.log"},
        {L"$TmpDir|$KaTmpDir", D + L"/tmp|" + D + L"/temp"},
        {L"$ConfDir|$KaConfDir", D + L"/conf|" + D + L"/config"},
        {L"$kabindir $KABINDIR $Unknown $", L"$kabindir $KABINDIR $Unknown $"}, // case counts
        {L"$KaBin Dir $KaBin", L"$KaBin Dir $KaBin"},
        {L"\"$KaBinDir\\kacd.exe\" -c \"$KaConfDir\"",
         L"\"" + I + L"/bin/kacd.exe\" -c \"" + D + L"/config\""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Resolve(c.text), c.expected) << KaTest::Utf8(c.text);
    }
    EXPECT_TRUE(KaCtrl::ReplaceDirVariables(String_t::Null()).IsNull());
}

TEST(ReplaceDirVariables, SudoText) {
    KaTest::Sandbox sandbox;
    const std::wstring D = Slashed(sandbox.DataDir());
    struct Case {
        const char* settings;
        std::wstring text, expected;
    } cases[] = {
        {"", L"$KA_SUDO x", L"$KA_SUDO x"},                             // not configured
        {"[ctrl.sudo]\nKA_SUDO=\n", L"$KA_SUDO x", L"$KA_SUDO x"},      // empty
        {"[ctrl.sudo]\nKA_SUDO=\"\"\n", L"$KA_SUDO x", L"$KA_SUDO x"},  // quoted empty
        {"[ctrl.sudo]\nnot a setting\n", L"$KA_SUDO x", L"$KA_SUDO x"}, // unreadable
        {"[ctrl.sudo]\nKA_SUDO=\"\" \n", L"$KA_SUDO x", L"\"\"  x"},    // not exactly two quotes
        {"[ctrl.sudo]\nKA_SUDO=C:\\Tools\\su do.exe -u\n", L"$KA_SUDO x",
         L"C:/Tools/su do.exe -u x"},
        {"[ctrl.sudo]\nKA_SUDO=C:\\Tools\\\n", L"$KA_SUDO\\x", L"C:/Tools/x"},
        {"[ctrl.sudo]\nKA_SUDO=C:\\Tools\\\\\n", L"$KA_SUDO\\x", L"C:/Tools//x"}, // one cut
        {"[ctrl.sudo]\nKA_SUDO=\\\n", L"[$KA_SUDO]", L"[]"},
        // Names come in ascending order: "$KaLogDir" after "$KA_SUDO", "$BinDir" before it.
        {"[ctrl.sudo]\nKA_SUDO=$KaLogDir\\x $BinDir\n", L"$KA_SUDO", D + L"/log/x $BinDir"},
        {"[ctrl.sudo]\nKA_SUDO=LogDir\n", L"$Ka$KA_SUDO", D + L"/log"},
        {"[ctrl.sudo]\nKA_SUDO=Dir\n", L"$Bin$KA_SUDO", L"$BinDir"},
        // A value forming the name again with the text around it is replaced in turn.
        {"[ctrl.sudo]\nKA_SUDO=x$KA_S\n", L"$KA_SUDOUDOUDO", L"xxx$KA_S"},
        {"[ctrl.sudo]\nKA_SUDO=UDO\n", L"$KA_S$KA_SUDO", L"UDO"},
    };
    for (const Case& c : cases) {
        sandbox.WriteSettings(c.settings);
        EXPECT_EQ(Resolve(c.text), c.expected) << c.settings;
    }
}

TEST(ReplaceDirVariables, SudoTextHoldingItsOwnNameEnds) {
    KaTest::Sandbox sandbox;
    struct Case {
        const char* settings;
        std::wstring text, expected;
    } cases[] = {
        {"[ctrl.sudo]\nKA_SUDO=$KA_SUDO\n", L"$KA_SUDO x", L"$KA_SUDO x"},
        {"[ctrl.sudo]\nKA_SUDO=$KA_SUDO\\\n", L"$KA_SUDO\\x", L"$KA_SUDO/x"},
        {"[ctrl.sudo]\nKA_SUDO=sudo $KA_SUDO\n", L"$KA_SUDO a $KA_SUDO",
         L"sudo $KA_SUDO a sudo $KA_SUDO"},
        {"[ctrl.sudo]\nKA_SUDO=[$KA_SUDO]\n", L"$KA_SUDO$KA_SUDO", L"[$KA_SUDO][$KA_SUDO]"},
    };
    for (const Case& c : cases) {
        sandbox.WriteSettings(c.settings);
        EXPECT_EQ(Resolve(c.text), c.expected) << c.settings;
    }
    // "$" + "KA_SUDOKA_SUDO$$" forms the name again at every step: the call gives up at its
    // bound instead of growing the text without end.
    sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=KA_SUDOKA_SUDO$$\n");
    EXPECT_THROW(Resolve(L"$$KA_SUDO"), std::length_error);
}

TEST(ReplaceDirVariables, DirectoryValuesEndingInTheSeparator) {
    KaTest::Sandbox sandbox;
    // A drive root keeps its separator in the runtime's answer.
    KaTest::SetEnv(L"KA_INSTALL_DIR", L"Z:\\");
    EXPECT_EQ(Resolve(L"$InstallDir\\x|$KaBinDir"), L"Z:/x|Z:/bin");
    // A value and the text before it may form the name again: "r:\..." completes "$KaBinDi".
    KaTest::SetEnv(L"KA_INSTALL_DIR", L"r:\\x");
    EXPECT_EQ(Resolve(L"$KaBinDi$KaBinDir"), L"r:/x/bin:/x/bin");
}

TEST(ReplaceDirVariables, AnyLookupFailureFailsTheCall) {
    struct Case {
        const wchar_t* variable;
        const wchar_t* value;
    } cases[] = {
        {L"KA_INSTALL_DIR", L"relative\\install"},
        {L"KA_INSTALL_DIR", L"Z:install"},
        {L"KA_DATA_DIR", L"relative\\data"},
        {L"KA_DATA_DIR", L"\\rooted"},
    };
    for (const Case& c : cases) {
        KaTest::Sandbox sandbox;
        sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=sudo\n");
        KaTest::SetEnv(c.variable, c.value);
        // The runtime's own failure, unchanged, even where the text names no directory.
        for (const wchar_t* text : {L"", L"plain text", L"$KA_SUDO", L"$KaSystemTmpDir"}) {
            EXPECT_EQ(CaughtFailure(text), L"KaTek(6)")
                << KaTest::Utf8(c.variable) << " " << KaTest::Utf8(text);
        }
    }
}

TEST(ReplaceDirVariables, NextCallSeesChangedSettingsAndDirectories) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=first\n");
    EXPECT_EQ(Resolve(L"$KA_SUDO"), L"first");
    sandbox.WriteSettings("[ctrl.sudo]\nKA_SUDO=second\n");
    EXPECT_EQ(Resolve(L"$KA_SUDO"), L"second");
    KaTest::SetEnv(L"KA_DATA_DIR", L"Y:\\elsewhere");
    EXPECT_EQ(Resolve(L"$LogDir"), L"Y:/elsewhere/log");
}
