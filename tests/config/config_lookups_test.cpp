// The configuration lookups against a sandbox installation's real settings file.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <string>
#include <vector>

using KaTekStr::String_t;

namespace {

// The one message a library error carries: catalog, number and argument.
struct CaughtMessage {
    std::wstring catalog;
    uint32_t number = 0;
    std::vector<std::wstring> args;
    size_t count = 0;
};

template <typename Call> CaughtMessage CatchMessage(Call call) {
    CaughtMessage caught;
    try {
        call();
        ADD_FAILURE() << "nothing thrown";
    } catch (const KaTekMsg::Exception_t& error) {
        const auto& messages = error.GetMessageList().GetMessages();
        caught.count = messages.size();
        if (!messages.empty()) {
            caught.catalog = messages[0].GetCatalogId().Std();
            caught.number = messages[0].GetNumber();
            for (const String_t& arg : messages[0].GetArgs()) {
                caught.args.push_back(arg.Std());
            }
        }
        EXPECT_NE(dynamic_cast<const KaTekMsg::IllegalStateError_t*>(&error), nullptr);
    }
    return caught;
}

} // namespace

TEST(GetBooleanFromString, AcceptsTrueAndFalseInAnyCase) {
    for (const wchar_t* text : {L"true", L"TRUE", L"True", L"tRuE"}) {
        EXPECT_TRUE(KaCtrl::GetBooleanFromString(String_t(text))) << KaTest::Utf8(text);
    }
    for (const wchar_t* text : {L"false", L"FALSE", L"fAlSe"}) {
        EXPECT_FALSE(KaCtrl::GetBooleanFromString(String_t(text))) << KaTest::Utf8(text);
    }
}

TEST(GetBooleanFromString, RefusesAnythingElseWithTheTextUnchanged) {
    std::vector<std::wstring> refused = {
        L" true", L"true ", L"",      L"1",    L"yes",
        L"on",    L"0",     L"truex", L"fals", std::wstring(L"true\0x", 6)};
    for (const std::wstring& text : refused) {
        CaughtMessage caught = CatchMessage(
            [&] { KaCtrl::GetBooleanFromString(String_t(text.c_str(), text.size())); });
        EXPECT_EQ(caught.count, 1u);
        EXPECT_EQ(caught.catalog, L"KaCtrl");
        EXPECT_EQ(caught.number, 1u);
        EXPECT_EQ(caught.args, std::vector<std::wstring>{text}) << KaTest::Utf8(text);
    }
}

TEST(GetBooleanFromString, MessageReadsWithTheText) {
    try {
        KaCtrl::GetBooleanFromString(String_t("yes"));
        FAIL() << "nothing thrown";
    } catch (const KaTekMsg::Exception_t& error) {
        EXPECT_EQ(error.GetMessageList().GetMessages().at(0).GetText().Std(),
                  L"Not a boolean value 'yes'.");
    }
}

TEST(GetKaCoreID, ReturnsTheValueAsWritten) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[sec.core]\nCORE_ID=  core-42 \n");
    EXPECT_EQ(KaCtrl::GetKaCoreID().Std(), L"  core-42 ");
}

TEST(GetKaCoreID, AbsentOrEmptyGivesMessage3WithEmptyArgument) {
    KaTest::Sandbox sandbox;
    for (const char* settings :
         {"", "[sec.core]\n", "[sec.core]\nCORE_ID=\n", "[other]\nCORE_ID=x\n"}) {
        sandbox.WriteSettings(settings);
        CaughtMessage caught = CatchMessage([] { KaCtrl::GetKaCoreID(); });
        EXPECT_EQ(caught.number, 3u) << settings;
        EXPECT_EQ(caught.args, std::vector<std::wstring>{L""}) << settings;
    }
}

TEST(GetKaCoreID, RuntimeFailureIsWrappedOnce) {
    KaTest::Sandbox sandbox;
    sandbox.WriteSettings("[sec.core]\nthis line is not a setting\n");
    CaughtMessage caught = CatchMessage([] { KaCtrl::GetKaCoreID(); });
    ASSERT_EQ(caught.count, 1u);
    EXPECT_EQ(caught.number, 3u);
    ASSERT_EQ(caught.args.size(), 1u);
    // The argument is the runtime's own message, naming the file and the line.
    const std::wstring& text = caught.args[0];
    EXPECT_NE(text.find(sandbox.SettingsFile()), std::wstring::npos) << KaTest::Utf8(text);
    EXPECT_NE(text.find(L"line 2"), std::wstring::npos) << KaTest::Utf8(text);
    EXPECT_EQ(text.find(L"Error getting KaCore ID"), std::wstring::npos) << KaTest::Utf8(text);
}

TEST(GetKaSudo, ReturnsTheValueAsWrittenOrEmpty) {
    KaTest::Sandbox sandbox;
    struct Case {
        const char* settings;
        std::wstring expected;
    } cases[] = {
        {"[ctrl.sudo]\nKA_SUDO= \"sudo -u ka\" \n", L" \"sudo -u ka\" "},
        {"[ctrl.sudo]\nKA_SUDO=\"\"\n", L"\"\""},
        {"[ctrl.sudo]\nKA_SUDO=\n", L""},
        {"", L""},
        {"[ctrl.sudo]\nnot a setting\n", L""}, // unreadable settings: empty, nothing thrown
    };
    for (const Case& c : cases) {
        sandbox.WriteSettings(c.settings);
        String_t sudo;
        EXPECT_NO_THROW(sudo = KaCtrl::GetKaSudo()) << c.settings;
        EXPECT_EQ(sudo.Std(), c.expected) << c.settings;
    }
}

TEST(Directories, EndInExactlyOneSeparator) {
    KaTest::Sandbox sandbox;
    EXPECT_EQ(KaCtrl::GetTmpDir().Std(), sandbox.DataDir() + L"\\tmp\\");
    EXPECT_EQ(KaCtrl::GetConfDir().Std(), sandbox.DataDir() + L"\\conf\\ctrl\\");

    // A data directory named with a trailing separator still gives one separator.
    KaTest::SetEnv(L"KA_DATA_DIR", sandbox.DataDir() + L"\\");
    EXPECT_EQ(KaCtrl::GetTmpDir().Std(), sandbox.DataDir() + L"\\tmp\\");
    EXPECT_EQ(KaCtrl::GetConfDir().Std(), sandbox.DataDir() + L"\\conf\\ctrl\\");
}

TEST(Directories, LookupFailureReachesTheCaller) {
    KaTest::Sandbox sandbox;
    KaTest::SetEnv(L"KA_DATA_DIR", L"relative\\data");
    EXPECT_THROW(KaCtrl::GetTmpDir(), KaTekMsg::Exception_t);
    EXPECT_THROW(KaCtrl::GetConfDir(), KaTekMsg::Exception_t);
}
