// KaTek directories: every key the library uses, resolved against a sandbox installation
// named through the environment.
#include "KaTek/Msg.h"
#include "KaTek/Runtime.h"
#include "KaTekPrint.h"
#include "Sandbox.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <stdlib.h>

#include <string>

using KaTekRuntime::Dir_t;
using KaTekRuntime::DirKey_e;
using KaTekStr::String_t;

namespace {

std::wstring CurrentDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    GetCurrentDirectoryW(MAX_PATH + 1, buffer);
    return buffer;
}

std::wstring TempDirectory() {
    wchar_t buffer[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, buffer);
    return buffer;
}

TEST(KaTekDir, EveryKeyUnderTheSandbox) {
    KaTest::Sandbox sandbox;
    const std::wstring install = sandbox.InstallDir();
    const std::wstring data = sandbox.DataDir();
    struct Case {
        DirKey_e key;
        std::wstring expected;
    };
    const Case cases[] = {
        {KaTekRuntime::DIR_KA_BIN, install + L"\\bin"},
        {KaTekRuntime::DIR_CURRENT, CurrentDirectory()},
        {KaTekRuntime::DIR_DATA, data},
        {KaTekRuntime::DIR_KA_CONF, data + L"\\config"},
        {KaTekRuntime::DIR_INSTRUMENT, install + L"\\instrumentation"},
        {KaTekRuntime::DIR_LOG, data + L"\\log"},
        {KaTekRuntime::DIR_KA_TMP, data + L"\\temp"},
        {KaTekRuntime::DIR_INSTALL, install},
        {KaTekRuntime::DIR_JAVA, install + L"\\java"},
        {KaTekRuntime::DIR_LBIN, install + L"\\lbin"},
        {KaTekRuntime::DIR_LIB, install + L"\\lib"},
        {KaTekRuntime::DIR_MISC, install + L"\\misc"},
        {KaTekRuntime::DIR_NON_KA, install + L"\\nonKA"},
        {KaTekRuntime::DIR_SYSTEM_TMP, TempDirectory()},
        {KaTekRuntime::DIR_USER, data + L"\\user"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(String_t(c.expected), Dir_t::Path(c.key, String_t::Null()));
        EXPECT_EQ(String_t(c.expected), Dir_t::Path(c.key, String_t("")));
    }
    // The system's temporary directory keeps its separator, and a sub-path adds no second.
    EXPECT_EQ(String_t(TempDirectory() + L"x"),
              Dir_t::Path(KaTekRuntime::DIR_SYSTEM_TMP, String_t("x")));
}

TEST(KaTekDir, SubPathJoinsWithBackslashes) {
    KaTest::Sandbox sandbox;
    const std::wstring log = sandbox.DataDir() + L"\\log";
    struct Case {
        const char* sub;
        std::wstring expected;
    };
    const Case cases[] = {
        {"kacd.port", log + L"\\kacd.port"},
        {"a/b/c.txt", log + L"\\a\\b\\c.txt"},
        {"a\\b", log + L"\\a\\b"},
        {"/leading", log + L"\\leading"},
        {"trailing/", log + L"\\trailing\\"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sub);
        EXPECT_EQ(String_t(c.expected), Dir_t::Path(KaTekRuntime::DIR_LOG, String_t(c.sub)));
    }
}

TEST(KaTekDir, BasesAsGivenOrByDefault) {
    KaTest::Sandbox sandbox;
    struct Case {
        const wchar_t* install;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L"D:\\Agent\\", L"D:\\Agent\\bin"}, // trailing separator dropped
        {L"D:/Agent", L"D:/Agent\\bin"},     // kept as written
        {L"D:\\", L"D:\\bin"},               // a drive root keeps its separator
        {L"\\\\server\\share\\ka", L"\\\\server\\share\\ka\\bin"},
        {L"", L"C:\\Program Files\\Trelm\\KaAgent\\bin"}, // unset: the default
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(KaTest::Utf8(c.install));
        KaTest::SetEnv(L"KA_INSTALL_DIR", c.install);
        EXPECT_EQ(String_t(c.expected), Dir_t::Path(KaTekRuntime::DIR_KA_BIN, String_t::Null()));
    }
    KaTest::SetEnv(L"KA_DATA_DIR", L"");
    EXPECT_EQ(String_t("C:\\ProgramData\\Trelm\\KaAgent\\temp"),
              Dir_t::Path(KaTekRuntime::DIR_KA_TMP, String_t::Null()));
}

// The library sets variables with the C runtime's _putenv; the runtime must see them.
TEST(KaTekDir, SeesVariablesSetThroughTheCRuntime) {
    KaTest::Sandbox sandbox;
    ASSERT_EQ(0, _putenv_s("KA_DATA_DIR", "E:\\viaputenv"));
    EXPECT_EQ(String_t("E:\\viaputenv\\log"), Dir_t::Path(KaTekRuntime::DIR_LOG, String_t::Null()));
}

TEST(KaTekDir, RelativeBaseThrows) {
    KaTest::Sandbox sandbox;
    const wchar_t* relatives[] = {L"relative\\dir", L"D:relative", L"\\rooted", L"..\\up", L"\\\\"};
    for (const wchar_t* relative : relatives) {
        SCOPED_TRACE(KaTest::Utf8(relative));
        KaTest::SetEnv(L"KA_INSTALL_DIR", relative);
        EXPECT_THROW(Dir_t::Path(KaTekRuntime::DIR_INSTALL, String_t::Null()),
                     KaTekMsg::RuntimeError_t);
        // A key below the other base is unaffected.
        EXPECT_EQ(String_t(sandbox.DataDir()), Dir_t::Path(KaTekRuntime::DIR_DATA, String_t()));
    }
    KaTest::SetEnv(L"KA_DATA_DIR", L"data");
    try {
        Dir_t::Path(KaTekRuntime::DIR_LOG, String_t::Null());
        ADD_FAILURE() << "no exception";
    } catch (const KaTekMsg::RuntimeError_t& e) {
        EXPECT_NE(std::string::npos, std::string(e.what()).find("KA_DATA_DIR")) << e.what();
    }
}

TEST(KaTekDir, UnknownKeyThrows) {
    KaTest::Sandbox sandbox;
    const int unknown[] = {1, 4, 5, 7, 12, 13, 15, 18, 23, 36, 38, 40, 63};
    for (int key : unknown) {
        SCOPED_TRACE(key);
        EXPECT_THROW(Dir_t::Path(static_cast<DirKey_e>(key), String_t::Null()),
                     KaTekMsg::RuntimeError_t);
    }
}

} // namespace
