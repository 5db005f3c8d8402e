// File-name forms: backslashes to slashes with optional space escapes, and back.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <string>

using KaTekStr::String_t;

namespace {

// Texts are built with their length, so that those holding a NUL keep what follows it.
String_t Text(const std::wstring& units) {
    return String_t(units.c_str(), static_cast<uint32_t>(units.size()));
}

std::wstring Units(const wchar_t* literal, size_t length) {
    return std::wstring(literal, length);
}

} // namespace

TEST(FileNameToURI, ConvertsUpToTheFirstNul) {
    struct Case {
        std::wstring name;
        bool escape;
        std::wstring expected;
    } cases[] = {
        {L"", true, L""},
        {L"", false, L""},
        {L"C:\\Program Files\\x y.txt", true, L"C:/Program%20Files/x%20y.txt"},
        {L"C:\\Program Files\\x y.txt", false, L"C:/Program Files/x y.txt"},
        {L"a  b", true, L"a%20%20b"},
        {L"a b\\c", true, L"a%20b/c"}, // the backslash after an escape lands right
        {L" \\ \\", true, L"%20/%20/"},
        {L"x ", true, L"x%20"},
        {L"a/%41", true, L"a/%41"}, // slashes and percent signs stay
        {L"#?&=+;:@%~'\"<>|*", true, L"#?&=+;:@%~'\"<>|*"},
        {L"\u00e4\\\u00f6 \u20ac", true, L"\u00e4/\u00f6%20\u20ac"}, // nothing outside ASCII
        {L"\t\r\n", true, L"\t\r\n"}, // only the space is a blank that is escaped
        {L"\\\\server\\share\\", false, L"//server/share/"},
        {L"z:\\a", true, L"z:/a"}, // no scheme, drive letter as written
        {Units(L"a\\b c\0d\\e f", 11), true, Units(L"a/b%20c\0d\\e f", 13)},
        {Units(L"\0\\ ", 3), true, Units(L"\0\\ ", 3)},
        {Units(L"\\\0", 2), false, Units(L"/\0", 2)},
    };
    for (const Case& c : cases) {
        String_t result = KaCtrl::FileNameToURI(Text(c.name), c.escape);
        EXPECT_EQ(result.Std(), c.expected) << KaTest::Utf8(c.name) << " escape " << c.escape;
        EXPECT_FALSE(result.IsNull());
    }
}

TEST(FileNameToURI, LeavesTheArgumentAndNullAlone) {
    const String_t name("C:\\a b\\c");
    EXPECT_EQ(KaCtrl::FileNameToURI(name, true).Std(), L"C:/a%20b/c");
    EXPECT_EQ(name.Std(), L"C:\\a b\\c");
    EXPECT_TRUE(KaCtrl::FileNameToURI(String_t::Null(), true).IsNull());
    EXPECT_FALSE(KaCtrl::FileNameToURI(String_t(""), true).IsNull());
}

TEST(ReverseSlashes, TurnsSlashesUpToTheFirstNul) {
    struct Case {
        std::wstring path;
        std::wstring expected;
    } cases[] = {
        {L"", L""},
        {L"C:/a/b/", L"C:\\a\\b\\"},
        {L"C:\\a\\b", L"C:\\a\\b"}, // no slashes: unchanged
        {L"//server/share", L"\\\\server\\share"},
        {L"a b/%20", L"a b\\%20"}, // escapes are not undone
        {L"\u00e4/\u00f6", L"\u00e4\\\u00f6"},
        {Units(L"a/b\0c/d", 7), Units(L"a\\b\0c/d", 7)},
        {Units(L"\0/", 2), Units(L"\0/", 2)},
    };
    for (const Case& c : cases) {
        String_t result = KaCtrl::ReverseSlashes(Text(c.path));
        EXPECT_EQ(result.Std(), c.expected) << KaTest::Utf8(c.path);
        EXPECT_FALSE(result.IsNull());
    }
    EXPECT_TRUE(KaCtrl::ReverseSlashes(String_t::Null()).IsNull());
}
