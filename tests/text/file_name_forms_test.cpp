// File-name forms: backslashes to slashes with optional space escapes, and back.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <string>

using KaTekStr::String_t;
using namespace std::string_literals; // L"..."s keeps a NUL and what follows it

TEST(FileNameToURI, ConvertsUpToTheFirstNul) {
    struct Case {
        std::wstring name;
        bool escape;
        std::wstring expected;
    } cases[] = {
        {L"", true, L""},
        {L"C:\\Program Files\\x y.txt", true, L"C:/Program%20Files/x%20y.txt"},
        {L"C:\\Program Files\\x y.txt", false, L"C:/Program Files/x y.txt"},
        {L" \\  \\x ", true, L"%20/%20%20/x%20"}, // after an escape the walk goes on right
        {L"a/%41#?&=+;:@~'\"<>|*\t", true, L"a/%41#?&=+;:@~'\"<>|*\t"}, // nothing else escaped
        {L"\u00e4\\\u00f6 \u20ac", true, L"\u00e4/\u00f6%20\u20ac"},
        {L"\\\\server\\share\\", false, L"//server/share/"},
        {L"a\\b c\0d\\e f"s, true, L"a/b%20c\0d\\e f"s},
        {L"\0\\ "s, true, L"\0\\ "s},
        {L"\\\0\\"s, false, L"/\0\\"s},
    };
    for (const Case& c : cases) {
        String_t result = KaCtrl::FileNameToURI(String_t(c.name.c_str(), c.name.size()), c.escape);
        EXPECT_EQ(result.Std(), c.expected) << KaTest::Utf8(c.name) << " escape " << c.escape;
        EXPECT_FALSE(result.IsNull());
    }
    EXPECT_TRUE(KaCtrl::FileNameToURI(String_t::Null(), true).IsNull());
}

TEST(ReverseSlashes, TurnsSlashesUpToTheFirstNul) {
    struct Case {
        std::wstring path, expected;
    } cases[] = {
        {L"", L""},
        {L"//server/share/", L"\\\\server\\share\\"},
        {L"C:\\a b/%20", L"C:\\a b\\%20"}, // escapes are not undone
        {L"\u00e4/\u00f6", L"\u00e4\\\u00f6"},
        {L"a/b\0c/d"s, L"a\\b\0c/d"s},
        {L"\0/"s, L"\0/"s},
    };
    for (const Case& c : cases) {
        String_t result = KaCtrl::ReverseSlashes(String_t(c.path.c_str(), c.path.size()));
        EXPECT_EQ(result.Std(), c.expected) << KaTest::Utf8(c.path);
        EXPECT_FALSE(result.IsNull());
    }
    EXPECT_TRUE(KaCtrl::ReverseSlashes(String_t::Null()).IsNull());
}
