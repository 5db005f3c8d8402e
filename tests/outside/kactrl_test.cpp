// The control library in a sandbox installation: its catalog, the lines LogMessage appends
// (and a log it cannot write), and the certificate probe.
#include "KaCtrl.h"
#include "KaTekTest.h"
#include "Sandbox.h"

#include <regex>

using namespace KaTekMsg;
using KaTekStr::String_t;
using namespace std::string_literals;

namespace {

TEST(KaCtrl, LogsOneLinePerMessageNeverThrowsAndFindsTheCertificate) {
    KaTest::Sandbox sandbox; // no log directory yet: LogMessage makes it
    EXPECT_EQ(String_t(sandbox.DataDir() + L"\\log\\KaCtrl.log"), KaCtrl::LogFilePath());
    MessageList_t list;
    list.Add(CreateError_t(KaCtrl::Catalog::GetCatalog(), 1, "Not a boolean value '%1'.")
             << String_t(L"\u00E9"));
    list.Add(Message_t(String_t("KaTek"), 4, String_t("two\r\nlines\nhere")));
    KaCtrl::LogMessage(MessageList_t());
    KaCtrl::LogMessage(list);
    const std::string stamp = R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )";
    const std::string written = ReadBytes(KaCtrl::LogFilePath().Std());
    EXPECT_TRUE(std::regex_match(
        written, std::regex(stamp + "KaCtrl\\(1\\): Not a boolean value '\xC3\xA9'\\.\r\n" + stamp +
                            "KaTek\\(4\\): two lines here\r\n")))
        << written;
    // The certificate is installed only when its file exists.
    const std::wstring pem = sandbox.MakeDir(L"data\\config\\certs\\node.pem");
    EXPECT_FALSE(KaCtrl::IsCertInstalled()) << "a directory is no certificate";
    RemoveDirectoryW(pem.c_str());
    sandbox.WriteFile(L"data\\config\\certs\\node.pem", "-----BEGIN CERTIFICATE-----\n");
    EXPECT_TRUE(KaCtrl::IsCertInstalled());
    // The log directory cannot be made; the runtime refuses a relative data directory.
    sandbox.WriteFile(L"blocked\\log", "a file where the log directory should be");
    for (const std::wstring& dataDir : {sandbox.Root() + L"\\blocked", L"rel\\data"s}) {
        KaTest::SetEnv(L"KA_DATA_DIR", dataDir);
        EXPECT_NO_THROW(KaCtrl::LogMessage(list)) << KaTest::Utf8(dataDir);
    }
}

} // namespace
