// File-name forms: backslashes to slashes with optional space escapes, and back.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Sandbox.h"

using KaTekStr::String_t;
using namespace std::string_literals; // L"..."s keeps a NUL and what follows it

TEST(FileNameToURI, ConvertsUpToTheFirstNul) {
    const std::tuple<std::wstring, bool, std::wstring> cases[] = {
        {L"", true, L""},
        {L"C:\\Program Files\\x y.txt", true, L"C:/Program%20Files/x%20y.txt"},
        {L"\\\\server\\x y\\", false, L"//server/x y/"},
        {L" \\  \\x ", true, L"%20/%20%20/x%20"}, // after an escape the walk goes on right
        {L"a/%41#?&=+;:@~'\"<>|*\t", true, L"a/%41#?&=+;:@~'\"<>|*\t"}, // nothing else escaped
        {L"\u00e4\\\u00f6 \u20ac", true, L"\u00e4/\u00f6%20\u20ac"},
        {L"a\\b c\0d\\e f"s, true, L"a/b%20c\0d\\e f"s},
        {L"\\\0\\"s, false, L"/\0\\"s},
    };
    for (const auto& [name, escape, expected] : cases) {
        String_t result = KaCtrl::FileNameToURI(String_t(name.c_str(), name.size()), escape);
        EXPECT_EQ(result.Std(), expected) << KaTest::Utf8(name) << " escape " << escape;
        EXPECT_FALSE(result.IsNull());
    }
    EXPECT_TRUE(KaCtrl::FileNameToURI(String_t::Null(), true).IsNull());
}

TEST(ReverseSlashes, TurnsSlashesUpToTheFirstNul) {
    const std::pair<std::wstring, std::wstring> cases[] = {
        {L"", L""},
        {L"//server/share/", L"\\\\server\\share\\"},
        {L"C:\\a b/%20", L"C:\\a b\\%20"}, // escapes are not undone
        {L"\u00e4/\u00f6", L"\u00e4\\\u00f6"},
        {L"a/b\0c/d"s, L"a\\b\0c/d"s},
    };
    for (const auto& [path, expected] : cases) {
        String_t result = KaCtrl::ReverseSlashes(String_t(path.c_str(), path.size()));
        EXPECT_EQ(result.Std(), expected) << KaTest::Utf8(path);
        EXPECT_FALSE(result.IsNull());
    }
    EXPECT_TRUE(KaCtrl::ReverseSlashes(String_t::Null()).IsNull());
}
