// File-name forms: backslashes to slashes with optional space escapes, and back.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Sandbox.h"

using KaTekStr::String_t;
using namespace std::string_literals; // L"..."s keeps a NUL and what follows it

// Each converter on its own rows: both end their walk at the first NUL.
TEST(FileNameForms, ConvertUpToTheFirstNul) {
    using Convert = String_t (*)(const String_t&);
    const Convert uri = [](const String_t& name) { return KaCtrl::FileNameToURI(name, true); };
    const Convert plain = [](const String_t& name) { return KaCtrl::FileNameToURI(name, false); };
    const Convert back = KaCtrl::ReverseSlashes;
    const std::tuple<Convert, std::wstring, std::wstring> cases[] = {
        {uri, L"", L""},
        {uri, L"C:\\Program Files\\x y.txt", L"C:/Program%20Files/x%20y.txt"},
        {plain, L"\\\\server\\x y\\", L"//server/x y/"},
        {uri, L" \\  \\x ", L"%20/%20%20/x%20"}, // after an escape the walk goes on right
        {uri, L"a/%41#?&=+;:@~'\"<>|*\t", L"a/%41#?&=+;:@~'\"<>|*\t"}, // nothing else escaped
        {uri, L"\u00e4\\\u00f6 \u20ac", L"\u00e4/\u00f6%20\u20ac"},
        {uri, L"a\\b c\0d\\e f"s, L"a/b%20c\0d\\e f"s},
        {plain, L"\\\0\\"s, L"/\0\\"s},
        {back, L"", L""},
        {back, L"//server/share/", L"\\\\server\\share\\"},
        {back, L"C:\\a b/%20", L"C:\\a b\\%20"}, // escapes are not undone
        {back, L"\u00e4/\u00f6", L"\u00e4\\\u00f6"},
        {back, L"a/b\0c/d"s, L"a\\b\0c/d"s},
    };
    for (const auto& [convert, name, expected] : cases) {
        String_t result = convert(String_t(name.c_str(), name.size()));
        EXPECT_EQ(result.Std(), expected) << KaTest::Utf8(name);
        EXPECT_FALSE(result.IsNull());
        EXPECT_TRUE(convert(String_t::Null()).IsNull());
    }
}
