// The control library: its catalog, the lines LogMessage appends, a log that cannot be
// written, and the certificate probe, all in a sandbox installation.
#include "KaCtrl.h"
#include "Sandbox.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using KaTekMsg::CreateError_t;
using KaTekMsg::Message_t;
using KaTekMsg::MessageList_t;
using KaTekStr::String_t;

std::vector<std::string> LinesOf(const String_t& path) {
    std::ifstream in(std::filesystem::path(path.Std()), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

MessageList_t ListOf(std::vector<Message_t> messages) {
    MessageList_t list;
    for (const Message_t& message : messages) {
        list.Add(message);
    }
    return list;
}

Message_t CatalogMessage(uint32_t number, const char* text, const String_t& argument) {
    return CreateError_t(KaCtrl::Catalog::GetCatalog(), number, text) << argument;
}

TEST(KaCtrlCatalog, IsOneCatalogNamedKaCtrl) {
    EXPECT_EQ(String_t("KaCtrl"), KaCtrl::Catalog::GetCatalog().GetId());
    EXPECT_EQ(&KaCtrl::Catalog::GetCatalog(), &KaCtrl::Catalog::GetCatalog());
}

TEST(KaCtrlCatalog, DefaultTextsFormatAsCatalogLines) {
    struct Row {
        uint32_t number;
        const char* text;
        const char* argument;
        const char* line;
    };
    const std::vector<Row> table = {
        {1, "Not a boolean value '%1'.", "maybe", "KaCtrl(1): Not a boolean value 'maybe'."},
        {2, "Error listing directory '%1'.", "C:\\x",
         "KaCtrl(2): Error listing directory 'C:\\x'."},
        {3, "Error getting KaCore ID: '%1'.", "", "KaCtrl(3): Error getting KaCore ID: ''."},
    };
    for (const Row& row : table) {
        const MessageList_t list =
            ListOf({CatalogMessage(row.number, row.text, String_t(row.argument))});
        EXPECT_EQ(String_t(row.line), list.Format(KaTekMsg::FMT_LINES));
    }
}

TEST(KaCtrlLog, PathIsInTheLogDirectory) {
    KaTest::Sandbox sandbox;
    EXPECT_EQ(String_t(sandbox.DataDir() + L"\\log\\KaCtrl.log"), KaCtrl::LogFilePath());
}

TEST(KaCtrlLog, AppendsOneLinePerMessage) {
    KaTest::Sandbox sandbox; // no log directory yet: LogMessage makes it
    KaCtrl::LogMessage(
        ListOf({CatalogMessage(2, "Error listing directory '%1'.", String_t("C:\\x")),
                Message_t(String_t("KaTek"), 4, String_t("two\r\nlines\nhere"))}));
    KaCtrl::LogMessage(
        ListOf({CatalogMessage(1, "Not a boolean value '%1'.", String_t(L"\u00E9"))}));
    KaCtrl::LogMessage(MessageList_t());

    const std::vector<std::string> lines = LinesOf(KaCtrl::LogFilePath());
    const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )";
    const std::vector<std::string> expected = {
        R"(KaCtrl\(2\): Error listing directory 'C:\\x'\.)",
        R"(KaTek\(4\): two lines here)",
        "KaCtrl\\(1\\): Not a boolean value '\xC3\xA9'\\.",
    };
    ASSERT_EQ(expected.size(), lines.size());
    for (size_t index = 0; index < lines.size(); ++index) {
        EXPECT_TRUE(std::regex_match(lines[index], std::regex(stamp + expected[index] + "\r")))
            << lines[index];
    }
}

TEST(KaCtrlLog, NeverThrowsWhenTheLogCannotBeWritten) {
    KaTest::Sandbox sandbox;
    const MessageList_t list =
        ListOf({CatalogMessage(1, "Not a boolean value '%1'.", String_t("x"))});
    sandbox.WriteFile(L"blocked\\log", "a file where the log directory should be");
    const std::vector<std::wstring> dataDirs = {
        sandbox.Root() + L"\\blocked", // the log directory cannot be made
        L"relative\\data",             // the runtime refuses the directory itself
    };
    for (const std::wstring& dataDir : dataDirs) {
        KaTest::SetEnv(L"KA_DATA_DIR", dataDir);
        EXPECT_NO_THROW(KaCtrl::LogMessage(list)) << KaTest::Utf8(dataDir);
    }
    KaTest::SetEnv(L"KA_DATA_DIR", sandbox.DataDir());
}

TEST(KaCtrlCert, InstalledOnlyWhenTheFileExists) {
    KaTest::Sandbox sandbox;
    EXPECT_FALSE(KaCtrl::IsCertInstalled());
    sandbox.MakeDir(L"data\\config\\certs\\node.pem");
    EXPECT_FALSE(KaCtrl::IsCertInstalled()) << "a directory is no certificate";
    RemoveDirectoryW((sandbox.DataDir() + L"\\config\\certs\\node.pem").c_str());
    sandbox.WriteFile(L"data\\config\\certs\\node.pem", "-----BEGIN CERTIFICATE-----\n");
    EXPECT_TRUE(KaCtrl::IsCertInstalled());
}

TEST(KaCtrlCert, PassesOnTheRuntimesRefusal) {
    KaTest::Sandbox sandbox;
    KaTest::SetEnv(L"KA_DATA_DIR", L"relative\\data");
    EXPECT_THROW(KaCtrl::IsCertInstalled(), KaTekMsg::RuntimeError_t);
    KaTest::SetEnv(L"KA_DATA_DIR", sandbox.DataDir());
}

} // namespace
