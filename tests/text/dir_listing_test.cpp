// GetFilesInDir on real directories of a sandbox installation, and its entries in the
// sandbox's control log when a directory cannot be listed.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

using KaTekStr::String_t;

namespace {

std::vector<std::wstring> Listed(const std::wstring& dir, const char* suffix) {
    std::vector<std::wstring> paths;
    for (const String_t& path : KaCtrl::GetFilesInDir(String_t(dir), suffix)) {
        paths.push_back(path.Std());
    }
    return paths;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// The names in dir ending in suffix, in the order the platform itself delivers them.
std::vector<std::wstring> PlatformNames(const std::wstring& dir, const std::wstring& suffix) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L".." && EndsWith(name, suffix)) {
            names.push_back(name);
        }
    } while (::FindNextFileW(find, &entry));
    ::FindClose(find);
    return names;
}

std::wstring WithSlashes(std::wstring path) {
    for (wchar_t& unit : path) {
        if (unit == L'\\') {
            unit = L'/';
        }
    }
    return path;
}

// The control log's lines, time stamps cut off, as UTF-8.
std::vector<std::string> LogLines() {
    std::ifstream file(KaCtrl::LogFilePath().c_str(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    const std::regex stamp(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d{3} )");
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find("\r\n", start);
        std::string line = text.substr(start, end - start);
        lines.push_back(std::regex_search(line, stamp) ? line.substr(24) : "no stamp: " + line);
        start = end == std::string::npos ? text.size() : end + 2;
    }
    return lines;
}

class DirListing : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = sandbox_.MakeDir(L"logs");
        for (const wchar_t* name :
             {L"a.log", L"b.txt", L"c.log", L"a.log.txt", L"log", L"d.LOG", L"\u00fc.log"}) {
            sandbox_.WriteFile(std::wstring(L"logs\\") + name, "x");
        }
        // Subdirectories are entries too; the lister decides whether they are delivered.
        sandbox_.MakeDir(L"logs\\sub.log");
        sandbox_.MakeDir(L"empty");
    }

    KaTest::Sandbox sandbox_;
    std::wstring dir_;
};

} // namespace

TEST_F(DirListing, KeepsTheListersOrderAndTheDirectoryAsGiven) {
    struct Row {
        std::wstring dir;
        const char* suffix;
    };
    const std::wstring slashed = WithSlashes(dir_);
    const std::vector<Row> rows = {
        {slashed, ".log"}, {dir_, ".log"}, {slashed + L"/", ".log"}, {dir_ + L"\\", ".log"},
        {slashed, ".txt"}, {slashed, ""},  {slashed, "log"},         {slashed, "b.txt"},
    };
    for (const Row& row : rows) {
        const std::vector<std::wstring> names = PlatformNames(dir_, String_t(row.suffix).Std());
        std::vector<std::wstring> expected;
        for (const std::wstring& name : names) {
            expected.push_back(row.dir + L"/" + name);
        }
        EXPECT_EQ(Listed(row.dir, row.suffix), expected)
            << KaTest::Utf8(row.dir) << " with '" << row.suffix << "'";
    }
}

TEST_F(DirListing, KnownCase) {
    const std::wstring slashed = WithSlashes(dir_);
    std::vector<std::wstring> listed = Listed(slashed, ".log");
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::wstring>{slashed + L"/a.log", slashed + L"/c.log",
                                                 slashed + L"/sub.log", slashed + L"/\u00fc.log"}));
    std::vector<std::wstring> backslashed = Listed(dir_ + L"\\", ".txt");
    std::sort(backslashed.begin(), backslashed.end());
    EXPECT_EQ(backslashed, (std::vector<std::wstring>{dir_ + L"\\/a.log.txt", dir_ + L"\\/b.txt"}));
}

TEST_F(DirListing, NothingToListLogsNothing) {
    const std::vector<std::string> before = LogLines();
    EXPECT_TRUE(Listed(WithSlashes(sandbox_.Root()) + L"/empty", ".log").empty());
    EXPECT_TRUE(Listed(dir_, ".none").empty());
    EXPECT_EQ(LogLines(), before);
}

TEST_F(DirListing, UnlistableDirectoryIsLoggedNotThrown) {
    const std::wstring root = WithSlashes(sandbox_.Root());
    const std::vector<std::wstring> unlistable = {
        root + L"/missing",
        sandbox_.Root() + L"\\missing\\",
        root + L"/fehlt-\u00fc",
        root + L"/logs/a.log", // a file, not a directory
        L"",
    };
    for (const std::wstring& dir : unlistable) {
        const std::vector<std::string> before = LogLines();
        std::vector<std::wstring> listed;
        EXPECT_NO_THROW(listed = Listed(dir, ".log")) << KaTest::Utf8(dir);
        EXPECT_TRUE(listed.empty()) << KaTest::Utf8(dir);

        const std::vector<std::string> after = LogLines();
        ASSERT_GE(after.size(), before.size() + 2) << KaTest::Utf8(dir);
        EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
        // First the runtime's own messages about the failure, then ours with the directory.
        for (size_t index = before.size(); index + 1 < after.size(); ++index) {
            EXPECT_EQ(after[index].rfind("KaTek(", 0), 0u) << after[index];
        }
        EXPECT_EQ(after.back(), "KaCtrl(2): Error listing directory '" + KaTest::Utf8(dir) + "'.");
    }
}
