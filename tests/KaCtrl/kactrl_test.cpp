// The control library: its catalog, the lines LogMessage appends to the control log (and a
// log it cannot write), and the certificate probe, in sandbox installations.
#include "Checks.h"
#include "KaCtrl.h"
#include "Sandbox.h"

#include <gtest/gtest.h>

#include <string>

using namespace KaTekMsg;
using KaTekStr::String_t;
using KaTest::ReadBytes;
using KaTest::Utf8;
using namespace std::string_literals;

namespace {

TEST(KaCtrl, LogsOneLinePerMessageNeverThrowsAndFindsTheCertificate) {
    KaTest::Sandbox sandbox; // no log directory yet: LogMessage makes it
    MessageList_t list;
    list.Add(CreateError_t(KaCtrl::Catalog::GetCatalog(), KaCtrl::kNotABoolean.number,
                           KaCtrl::kNotABoolean.defaultText)
             << String_t(L"\u00E9"));
    list.Add(Message_t(String_t("KaTek"), 4, String_t("two\r\nlines\nhere")));
    KaCtrl::LogMessage(MessageList_t());
    KaCtrl::LogMessage(list);
    const std::string stamp = "%%%%-%%-%% %%:%%:%%.%%% ",
                      written = ReadBytes(sandbox.DataDir() + L"\\log\\KaCtrl.log");
    EXPECT_PRED2(KaTest::Glob,
                 stamp + "KaCtrl(1): Not a boolean value '\xC3\xA9'.\r\n" + stamp +
                     "KaTek(4): two lines here\r\n",
                 written);
    // A directory of the certificate's name is no certificate (the file itself is judged
    // through the daemon's address by status_test).
    sandbox.MakeDir(L"data\\config\\certs\\node.pem");
    EXPECT_FALSE(KaCtrl::IsCertInstalled());
    // The log directory cannot be made; the runtime refuses a relative data directory.
    sandbox.WriteFile(L"blocked\\log", "a file where the log directory should be");
    for (const std::wstring& dataDir : {sandbox.Root() + L"\\blocked", L"rel\\data"s}) {
        KaTest::SetEnv(L"KA_DATA_DIR", dataDir);
        EXPECT_NO_THROW(KaCtrl::LogMessage(list)) << Utf8(dataDir);
    }
}

} // namespace
