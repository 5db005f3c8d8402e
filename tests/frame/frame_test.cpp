// The identification block and the version resource, read back from the built DLL and
// from a DLL built with texts that a C or resource literal must escape. Each DLL has a
// text file beside it with its product name, company and copyright, one a line.
#include <gtest/gtest.h>

#include "Sandbox.h"

#include <windows.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring BesideProgram(const std::wstring& name) {
    wchar_t self[MAX_PATH];
    std::wstring path(self, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
    return path.substr(0, path.rfind(L'\\') + 1) + name;
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The value of key in the version resource's 0409/1200 string table; "<missing>" when absent.
std::wstring VersionString(const std::wstring& dll, const std::wstring& key) {
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

} // namespace

TEST(Identification, BlockAndResourceCarryTheBuildTextsIntact) {
    for (const std::wstring name : {L"KaCtrlUtils", L"identification_probe"}) {
        const std::wstring dll = BesideProgram(name + L".dll");
        std::istringstream texts(ReadFileBytes(BesideProgram(name + L".txt")));
        std::string product, company, copyright;
        ASSERT_TRUE(std::getline(texts, product) && std::getline(texts, company) &&
                    std::getline(texts, copyright))
            << KaTest::Utf8(name);
        // "@(#)BegWS" to "@(#)EndWS", each line "@(#)", a key padded to 9, ":", its value.
        const std::string image = ReadFileBytes(dll);
        const size_t begin = std::min(image.find("@(#)BegWS"), image.size());
        const std::string block = image.substr(begin, image.find('\0', begin) - begin);
        EXPECT_TRUE(std::regex_match(block, std::regex("@\\(#\\)BegWS    :1\\.0\n"
                                                       "(@\\(#\\)\\w+ *:[^\n]*\n){15}"
                                                       "@\\(#\\)EndWS    :\n")))
            << block;
        EXPECT_NE(block.find("\n@(#)CR       :" + copyright + "\n@(#)Name     :" + product + "\n"),
                  std::string::npos)
            << block;
        EXPECT_TRUE(std::regex_search(block, std::regex("\n@\\(#\\)Build    :\\d{4}\n"))) << block;
        EXPECT_EQ(KaTest::Utf8(VersionString(dll, L"LegalCopyright")), copyright);
        EXPECT_EQ(KaTest::Utf8(VersionString(dll, L"CompanyName")), company);
        EXPECT_TRUE(
            std::regex_match(VersionString(dll, L"Build Number"), std::wregex(LR"(\d{4})")));
    }
}
