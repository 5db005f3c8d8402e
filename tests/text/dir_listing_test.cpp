// GetFilesInDir on real directories of a sandbox installation, and its entries in the
// sandbox's control log when a directory cannot be listed.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Holders.h"
#include "Sandbox.h"

#include <algorithm>
#include <fstream>
#include <regex>
#include <set>
#include <tuple>

static std::vector<std::wstring> Listed(const std::wstring& dir, const char* suffix) {
    std::vector<std::wstring> paths;
    for (const auto& path : KaCtrl::GetFilesInDir(KaTekStr::String_t(dir), suffix)) {
        paths.push_back(path.Std());
    }
    return paths;
}

static std::string LogText(const KaTest::Sandbox& sandbox) {
    std::ifstream file((sandbox.DataDir() + L"\\log\\KaCtrl.log").c_str(), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), {});
}

TEST(DirListing, KeepsTheListersOrderAndTheDirectoryAsGiven) {
    KaTest::Sandbox sandbox;
    const std::wstring dir = sandbox.MakeDir(L"logs");
    const std::set<std::wstring> all = {L"a.log", L"b.txt", L"c.log", L"a.log.txt", L"d.LOG"};
    for (const std::wstring& name : all) {
        sandbox.WriteFile(L"logs\\" + name, "x");
    }
    std::vector<std::wstring> names; // in the order the platform delivers them
    WIN32_FIND_DATAW entry;
    KaHold::unique_find find(::FindFirstFileW((dir + L"\\*").c_str(), &entry));
    for (bool more = bool(find); more; more = ::FindNextFileW(find.get(), &entry)) {
        names.push_back(entry.cFileName);
    }
    std::wstring slashed = dir;
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    const std::tuple<std::wstring, const char*, std::set<std::wstring>> rows[] = {
        {slashed, ".log", {L"a.log", L"c.log"}}, // letter case counts
        {dir, ".txt", {L"b.txt", L"a.log.txt"}},
        {dir + L"\\", ".log", {L"a.log", L"c.log"}},
        {slashed + L"/", "", all}}; // every file, neither "." nor ".."
    for (const auto& [given, suffix, chosen] : rows) {
        std::vector<std::wstring> expected; // given + "/" + each chosen name, in platform order
        for (const std::wstring& name : names) {
            if (chosen.count(name)) {
                expected.push_back(given + L"/" + name);
            }
        }
        EXPECT_EQ(Listed(given, suffix), expected) << KaTest::Utf8(given) << " " << suffix;
    }
}

TEST(DirListing, UnlistableDirectoryIsLoggedNotThrown) {
    KaTest::Sandbox sandbox;
    const std::wstring dir = sandbox.Root() + L"\\missing\\"; // in the log as given
    const std::string before = LogText(sandbox);
    // Not thrown (which would fail the test), but logged.
    EXPECT_EQ(Listed(dir, ".log"), std::vector<std::wstring>{});
    const std::string added = LogText(sandbox).substr(before.size());
    // First the runtime's own messages about the failure, then ours with the directory.
    const std::string stamp = R"(\d{4}-\d\d-\d\d [\d:.]{12} )";
    const std::string ours =
        std::regex_replace("KaCtrl(2): Error listing directory '" + KaTest::Utf8(dir) + "'.",
                           std::regex(R"([\\^$.|?*+()[\]{}])"), R"(\$&)");
    EXPECT_TRUE(std::regex_match(
        added, std::regex("(" + stamp + R"(KaTek\([^\r]*\r\n)+)" + stamp + ours + "\r\n")))
        << added;
}
