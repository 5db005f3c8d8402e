// GetFilesInDir on real directories of a sandbox installation, and its entries in the
// sandbox's control log when a directory cannot be listed.
#include <gtest/gtest.h>

#include "Checks.h"
#include "Holders.h"
#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <filesystem>
#include <set>
#include <tuple>

static std::vector<std::wstring> Listed(const std::wstring& dir, const char* suffix) {
    std::vector<std::wstring> paths;
    for (const auto& path : KaCtrl::GetFilesInDir(KaTekStr::String_t(dir), suffix)) {
        paths.push_back(path.Std());
    }
    return paths;
}

// Each entry whose name ends in the suffix (letter case counting), a directory too, as the
// directory given (its separators kept) + "/" + the name, in the order the platform delivers.
TEST(DirListing, KeepsTheListersOrderAndTheDirectoryAsGiven) {
    KaTest::Sandbox sandbox;
    const std::wstring dir = sandbox.MakeDir(L"logs");
    const std::set<std::wstring> all = {L"a.log", L"b.txt", L"c.LOG", L"d.log", L"a.log.txt"};
    for (const std::wstring& name : all) {
        sandbox.WriteFile(L"logs\\" + name + (name == L"d.log" ? L"\\in-a-directory" : L""), "x");
    }
    std::vector<std::wstring> names; // in the order the platform delivers them
    WIN32_FIND_DATAW entry;
    KaHold::unique_find find(::FindFirstFileW((dir + L"\\*").c_str(), &entry));
    for (bool more = bool(find); more; more = ::FindNextFileW(find.get(), &entry)) {
        names.push_back(entry.cFileName);
    }
    const std::tuple<std::wstring, const char*, std::set<std::wstring>> rows[] = {
        {dir, ".txt", {L"b.txt", L"a.log.txt"}},
        {dir + L"\\", ".log", {L"a.log", L"d.log"}},
        {std::filesystem::path(dir).generic_wstring() + L"/", "", all}}; // neither "." nor ".."
    for (const auto& [given, suffix, chosen] : rows) {
        std::vector<std::wstring> expected;
        for (const std::wstring& name : names) {
            expected.resize(expected.size() + chosen.count(name), given + L"/" + name);
        }
        EXPECT_EQ(Listed(given, suffix), expected) << KaTest::Utf8(given) << " " << suffix;
    }
}

TEST(DirListing, UnlistableDirectoryIsLoggedNotThrown) {
    KaTest::Sandbox sandbox;
    const std::wstring log = sandbox.DataDir() + L"\\log\\KaCtrl.log";
    // Missing, and a file: each named in the log as given (the line's head is judged by
    // outside_test), first in the runtime's message, then in ours.
    for (const std::wstring& dir :
         {sandbox.Root() + L"\\missing\\", sandbox.WriteFile(L"f", "x")}) {
        const size_t before = KaTest::ReadBytes(log).size();
        EXPECT_EQ(Listed(dir, ".log"), std::vector<std::wstring>{}); // a throw would fail the test
        const std::string given = KaTest::Utf8(dir);
        EXPECT_PRED2(KaTest::Glob,
                     "* KaTek(4): Cannot list directory '" + given +
                         "': *\r\n* KaCtrl(2): Error listing directory '" + given + "'.\r\n",
                     KaTest::ReadBytes(log).substr(before));
    }
}

// The suffix is narrow text in the ANSI code page, read as the platform reads it: in code page
// 932 both U+8868 and U+30BD end in the byte of "\" (0x5C), and neither is a "\". A page that
// cannot hold the suffix (1252) turns it into "?", which no name ends in.
TEST(DirListing, NarrowSuffixIsReadInTheAnsiCodePage) {
    KaTest::Sandbox sandbox;
    const std::wstring dir = sandbox.MakeDir(L"names");
    for (const wchar_t* name : {L"a.\x8868", L"b.\x30BD", L"c.x"}) {
        sandbox.WriteFile(L"names\\" + std::wstring(name), "x");
    }
    const KaTekStr::MBS_t suffix(KaTekStr::String_t(L".\x8868"), KaTekStr::ENC_ANSI);
    EXPECT_EQ(Listed(dir, suffix),
              GetACP() == 1252 ? std::vector<std::wstring>{} : std::vector{dir + L"/a.\x8868"});
}
