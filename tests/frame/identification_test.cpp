// The identification block and the version resource, read back from the built DLL.
#include <gtest/gtest.h>

#include "Sandbox.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace {

std::wstring DllPath() {
    wchar_t self[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    return path.substr(0, path.rfind(L'\\') + 1) + L"KaCtrlUtils.dll";
}

std::string ReadFileBytes(const std::wstring& path) {
    std::ifstream in(std::filesystem::path(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The block, from "@(#)BegWS" to the NUL that ends it, NUL included.
std::string IdentificationBlock(const std::string& image) {
    size_t begin = image.find("@(#)BegWS");
    size_t end = image.find('\0', begin);
    return begin == std::string::npos || end == std::string::npos
               ? std::string()
               : image.substr(begin, end - begin + 1);
}

} // namespace

TEST(Identification, BlockHasEveryKeyInOrderWithItsValue) {
    std::vector<std::pair<std::string, std::string>> expected = {
        {"BegWS", "1\\.0"},
        {"CR", std::regex_replace(KA_EXPECTED_COPYRIGHT, std::regex(R"([.()])"), R"(\$&)")},
        {"Name", KA_EXPECTED_PRODUCT},
        {"Ver", R"(\d{2}\.\d{2}\.\d{3})"},
        {"FileN", "KaCtrlUtils\\.dll"},
        {"FileV", R"(\d{2}\.\d{2}\.\d{3})"},
        {"Rtype", "Released"},
        {"CBID", R"(\d{8}_\d{4})"},
        {"OS", "Windows"},
        {"OSV", "5\\.2 6\\.0"},
        {"Arch", "x64"},
        {"Bits", "64"},
        {"Desc", "KaCtrl Utils library"},
        {"Build", R"(\d{4})"},
        {"BuildOS", R"(\S.*)"},
        {"Compiler", R"(\S.*)"},
        {"EndWS", ""},
    };
    // Every line is "@(#)", the key padded to 9, ":", the value and a line feed; a NUL ends it.
    std::string pattern;
    for (const auto& [key, value] : expected) {
        pattern += "@\\(#\\)" + key + std::string(9 - key.size(), ' ') + ":" + value + "\n";
    }
    std::string block = IdentificationBlock(ReadFileBytes(DllPath()));
    EXPECT_TRUE(std::regex_match(block, std::regex(pattern + std::string(1, '\0')))) << block;
    EXPECT_NE(block.find("@(#)Ver      :" KA_EXPECTED_RELEASE "\n@(#)FileN    :KaCtrlUtils.dll\n"
                         "@(#)FileV    :" KA_EXPECTED_RELEASE "\n"),
              std::string::npos);
}

namespace {

class VersionInfo {
public:
    explicit VersionInfo(const std::wstring& path) {
        DWORD ignored = 0;
        DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), &ignored);
        data_.resize(size);
        loaded_ = size != 0 && ::GetFileVersionInfoW(path.c_str(), 0, size, data_.data());
    }
    bool Loaded() const { return loaded_; }
    const VS_FIXEDFILEINFO* Fixed() const {
        void* value = nullptr;
        UINT length = 0;
        return ::VerQueryValueW(data_.data(), L"\\", &value, &length) && length != 0
                   ? static_cast<const VS_FIXEDFILEINFO*>(value)
                   : nullptr;
    }
    // The value of key in the 0409/1200 string table; "<missing>" when absent.
    std::wstring String(const std::wstring& key) const {
        std::wstring query = L"\\StringFileInfo\\040904B0\\" + key;
        void* value = nullptr;
        UINT length = 0;
        if (!::VerQueryValueW(data_.data(), query.c_str(), &value, &length)) {
            return L"<missing>";
        }
        return length == 0 ? L"" : std::wstring(static_cast<const wchar_t*>(value));
    }
    // Where key's name stands in the raw resource, to check the order of the keys.
    size_t OffsetOf(const std::wstring& key) const {
        const wchar_t* begin = reinterpret_cast<const wchar_t*>(data_.data());
        std::wstring raw(begin, data_.size() / sizeof(wchar_t));
        return raw.find(key + L'\0');
    }

private:
    std::vector<char> data_;
    bool loaded_ = false;
};

std::wstring Widen(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::wstring Escaped(const std::wstring& literal) {
    return std::regex_replace(literal, std::wregex(LR"([.()\[\]])"), LR"(\$&)");
}

} // namespace

TEST(Identification, VersionResourceNamesTheRelease) {
    VersionInfo info(DllPath());
    ASSERT_TRUE(info.Loaded());
    const VS_FIXEDFILEINFO* fixed = info.Fixed();
    ASSERT_NE(fixed, nullptr);
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(LOWORD(fixed->dwFileVersionLS), 0u);
    EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    // Values as patterns: build-supplied ones are checked by form.
    std::wstring release = Widen(KA_EXPECTED_RELEASE);
    std::vector<std::pair<std::wstring, std::wstring>> table = {
        {L"FileDescription", L"KaCtrl Utils library"},
        {L"FileVersion", Escaped(release)},
        {L"LegalCopyright", Escaped(Widen(KA_EXPECTED_COPYRIGHT))},
        {L"CompanyName", Escaped(Widen(KA_EXPECTED_COMPANY))},
        {L"Application Name", L"KaCtrl Utils library"},
        {L"Application Version", Escaped(release)},
        {L"File Name", L"KaCtrlUtils\\.dll"},
        {L"Release Type", L"Released"},
        {L"Common Build-ID", LR"(\d{8}_\d{4})"},
        {L"Build Number", LR"(\d{4})"},
        {L"OS Platform", L"Windows"},
        {L"OS Version", L"5\\.2 6\\.0"},
        {L"Patch ID", L""},
    };
    size_t previous = 0;
    for (const auto& [key, pattern] : table) {
        std::wstring value = info.String(key);
        EXPECT_TRUE(std::regex_match(value, std::wregex(pattern)))
            << KaTest::Utf8(key) << " = " << KaTest::Utf8(value);
        size_t offset = info.OffsetOf(key);
        EXPECT_GT(offset, previous) << KaTest::Utf8(key) << " out of order";
        previous = offset;
    }
    unsigned major = HIWORD(fixed->dwFileVersionMS), minor = LOWORD(fixed->dwFileVersionMS);
    unsigned patch = HIWORD(fixed->dwFileVersionLS);
    wchar_t expected[32];
    swprintf(expected, 32, L"%02u.%02u.%03u", major, minor, patch);
    EXPECT_EQ(release, expected);
}
