// The library as a file: loaded by name in a process that has not called it before, and its
// identification block and version resource, read back from the built DLL and from a DLL
// built with texts that a C or resource literal must escape. Each DLL has a text file beside
// it with its product name, company and copyright, one a line.
#include <gtest/gtest.h>

#include "Checks.h"
#include "Holders.h"
#include "Sandbox.h"
#include "Standin.h"

#include <windows.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

// The value of key in the version resource's 0409/1200 string table; "<missing>" when absent.
static std::wstring VersionString(const std::wstring& dll, const std::wstring& key) {
    DWORD ignored = 0;
    std::vector<char> data(::GetFileVersionInfoSizeW(dll.c_str(), &ignored));
    void* value = nullptr;
    UINT length = 0;
    if (data.empty() || !::GetFileVersionInfoW(dll.c_str(), 0, data.size(), data.data()) ||
        !::VerQueryValueW(data.data(), (L"\\StringFileInfo\\040904B0\\" + key).c_str(), &value,
                          &length)) {
        return L"<missing>";
    }
    return length == 0 ? L"" : std::wstring(static_cast<const wchar_t*>(value));
}

// Loading runs nothing that could fail, and an exported function found by its decorated name
// works as the very first call. First in this program, before anything could load the DLL.
TEST(Loading, FirstCallByDecoratedNameWorks) {
    KaTest::Sandbox sandbox;
    ASSERT_EQ(::GetModuleHandleW(L"KaCtrlUtils.dll"), nullptr) << "loaded before the test";
    KaHold::unique_module library(::LoadLibraryW(L"KaCtrlUtils.dll"));
    ASSERT_TRUE(library) << "LoadLibrary failed: " << ::GetLastError();
    auto getTmpDir = reinterpret_cast<KaTekStr::String_t (*)()>(
        reinterpret_cast<void*>(::GetProcAddress(library.get(), "_ZN6KaCtrl9GetTmpDirEv")));
    ASSERT_NE(getTmpDir, nullptr);
    EXPECT_EQ(getTmpDir().Std(), sandbox.DataDir() + L"\\tmp\\");
    // That only decorated names are exported is judged by frame_exports.
}

TEST(Identification, BlockAndResourceCarryTheBuildTextsIntact) {
    for (const std::wstring name : {L"KaCtrlUtils", L"identification_probe"}) {
        const std::wstring dll = KaTest::ProgramDir() + name + L".dll";
        std::istringstream texts(KaTest::ReadBytes(KaTest::ProgramDir() + name + L".txt"));
        std::string product, company, copyright;
        ASSERT_TRUE(std::getline(texts, product) && std::getline(texts, company) &&
                    std::getline(texts, copyright))
            << KaTest::Utf8(name);
        // "@(#)BegWS" to "@(#)EndWS", each line "@(#)", a key padded to 9, ":", its value.
        const std::string image = KaTest::ReadBytes(dll);
        const size_t begin = std::min(image.find("@(#)BegWS"), image.size());
        const std::string block = image.substr(begin, image.find('\0', begin) - begin);
        EXPECT_TRUE(std::regex_match(block, std::regex("@\\(#\\)BegWS    :1\\.0\n"
                                                       "(@\\(#\\)\\w+ *:[^\n]*\n){15}"
                                                       "@\\(#\\)EndWS    :\n")))
            << block;
        EXPECT_PRED2(KaTest::Contains, block,
                     "\n@(#)CR       :" + copyright + "\n@(#)Name     :" + product + "\n");
        EXPECT_TRUE(std::regex_search(block, std::regex("\n@\\(#\\)Build    :\\d{4}\n"))) << block;
        EXPECT_EQ(KaTest::Utf8(VersionString(dll, L"LegalCopyright")), copyright);
        EXPECT_EQ(KaTest::Utf8(VersionString(dll, L"CompanyName")), company);
        EXPECT_TRUE(
            std::regex_match(VersionString(dll, L"Build Number"), std::wregex(LR"(\d{4})")));
    }
}
