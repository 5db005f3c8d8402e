// KaTek texts: null against empty, checked editing ranges, search, order, case mapping and
// the narrow/wide conversions at the platform boundary.
#include "KaTek/Msg.h"
#include "KaTek/Str.h"
#include "KaTekPrint.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <string>
#include <vector>

using KaTekStr::String_t;
using KaTekStr::UTF16CodePoint_t;

namespace {

const uint32_t npos = String_t::npos;

TEST(KaTekText, NullIsToldFromEmpty) {
    struct Case {
        const char* name;
        String_t text;
        bool isNull;
    };
    const Case cases[] = {
        {"default", String_t(), false},
        {"Null()", String_t::Null(), true},
        {"null narrow pointer", String_t(static_cast<const char*>(nullptr)), true},
        {"null wide pointer", String_t(static_cast<const wchar_t*>(nullptr)), true},
        {"empty narrow", String_t(""), false},
        {"empty wide", String_t(L""), false},
        {"copy of null", String_t(String_t::Null()), true},
        {"null joined with text", String_t::Null() + "x", false},
        {"null joined with null", String_t::Null() + String_t::Null(), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.isNull, c.text.IsNull());
        EXPECT_NE(nullptr, c.text.c_str()); // even the null text is a readable buffer
    }
    EXPECT_EQ(0u, String_t::Null().GetLength());
    EXPECT_TRUE(String_t::Null().IsEmpty());
    EXPECT_FALSE(String_t::Null().IsNotEmpty());
    // Equality looks at the units only.
    EXPECT_TRUE(String_t::Null() == String_t(""));
}

// Every out-of-range edit must throw before it touches the text.
TEST(KaTekText, EditsOutsideTheTextThrowAndLeaveItAlone) {
    using Edit = std::function<void(String_t&)>;
    struct Case {
        const char* name;
        Edit edit;
    };
    const Case cases[] = {
        {"Replace start past end", [](String_t& t) { t.Replace(7, 7, "x"); }},
        {"Replace start after end", [](String_t& t) { t.Replace(4, 3, "x"); }},
        {"Replace end past end", [](String_t& t) { t.Replace(0, 7, L"x"); }},
        {"Replace all ones", [](String_t& t) { t.Replace(npos, npos, UTF16CodePoint_t('x')); }},
        {"Delete end past end", [](String_t& t) { t.Delete(5, 7); }},
        {"Delete start after end", [](String_t& t) { t.Delete(2, 1); }},
        {"Delete all ones", [](String_t& t) { t.Delete(0, npos); }},
        {"SetAt length", [](String_t& t) { t.SetAt(6, UTF16CodePoint_t('x')); }},
        {"SetAt all ones", [](String_t& t) { t.SetAt(npos, UTF16CodePoint_t('x')); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        String_t text("abcdef");
        EXPECT_THROW(c.edit(text), KaTekMsg::RuntimeError_t);
        EXPECT_EQ(String_t("abcdef"), text);
    }
}

TEST(KaTekText, EditsAtTheEdgesWork) {
    struct Case {
        const char* name;
        std::function<void(String_t&)> edit;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"Replace at the end appends", [](String_t& t) { t.Replace(6, 6, "gh"); }, L"abcdefgh"},
        {"Replace all", [](String_t& t) { t.Replace(0, 6, L"z"); }, L"z"},
        {"Replace one by a unit", [](String_t& t) { t.Replace(2, 3, UTF16CodePoint_t('/')); },
         L"ab/def"},
        {"Delete nothing", [](String_t& t) { t.Delete(3, 3); }, L"abcdef"},
        {"Delete the last", [](String_t& t) { t.Delete(5, 6); }, L"abcde"},
        {"Delete all", [](String_t& t) { t.Delete(0, 6); }, L""},
        {"SetAt the last", [](String_t& t) { t.SetAt(5, UTF16CodePoint_t(L'\\')); }, L"abcde\\"},
        {"Append narrow", [](String_t& t) { t.Append("!"); }, L"abcdef!"},
        {"Append unit", [](String_t& t) { t.Append(UTF16CodePoint_t(L'\x4E2D')); },
         L"abcdef\x4E2D"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        String_t text("abcdef");
        c.edit(text);
        EXPECT_EQ(String_t(c.expected), text);
    }
    String_t null = String_t::Null();
    null.Replace(0, 0, "x");
    EXPECT_FALSE(null.IsNull());
}

TEST(KaTekText, FindExactAndFolded) {
    struct Case {
        const wchar_t* text;
        const wchar_t* what;
        uint32_t start;
        uint32_t end;
        bool ignoreCase;
        uint32_t expected;
    };
    const Case cases[] = {
        {L"$KA_DATA/x/$KA_DATA", L"$KA_DATA", 0, npos, false, 0},
        {L"$KA_DATA/x/$KA_DATA", L"$KA_DATA", 1, npos, false, 11},
        {L"$ka_data/x", L"$KA_DATA", 0, npos, false, npos}, // exact: case counts
        {L"$ka_data/x", L"$KA_DATA", 0, npos, true, 0},     // folded
        {L"x/\x00C4RGER", L"\x00E4rger", 0, npos, true, 2}, // folding beyond ASCII
        {L"x/\x00C4RGER", L"\x00E4rger", 0, npos, false, npos},
        {L"abcabc", L"bc", 0, 2, false, npos}, // a match must end by end
        {L"abcabc", L"bc", 0, 3, false, 1},
        {L"abcabc", L"bc", 2, 6, false, 4},
        {L"abc", L"c", 3, npos, false, npos}, // start at the length
        {L"abc", L"c", 9, npos, false, npos}, // start past the text
        {L"abc", L"c", 2, 99, false, 2},      // end past the text: to the end
        {L"abc", L"", 1, npos, false, 1},     // the empty text is everywhere
        {L"", L"a", 0, npos, false, npos},
        {L"a\\b\\c", L"\\", 0, npos, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "start " << c.start << " end " << c.end << " fold " << c.ignoreCase);
        EXPECT_EQ(c.expected,
                  String_t(c.text).Find(String_t(c.what), c.start, c.end, c.ignoreCase));
    }
}

TEST(KaTekText, OrdersByCodeUnit) {
    std::vector<String_t> texts = {String_t("b"),       String_t("a"),      String_t("B"),
                                   String_t("ab"),      String_t(""),       String_t(L"\x00E4"),
                                   String_t("$KA_LOG"), String_t("$KA_LIB")};
    std::sort(texts.begin(), texts.end());
    const std::vector<String_t> expected = {String_t(""),  String_t("$KA_LIB"), String_t("$KA_LOG"),
                                            String_t("B"), String_t("a"),       String_t("ab"),
                                            String_t("b"), String_t(L"\x00E4")};
    EXPECT_EQ(expected, texts);
    EXPECT_FALSE(String_t("a") < String_t("a")); // strict
}

TEST(KaTekText, ToLowerTrimAndRight) {
    EXPECT_EQ(String_t(L"path \x00E4\x03C9 c:\\x"), String_t(L"PATH \x00C4\x03A9 C:\\X").ToLower());
    EXPECT_EQ(String_t(""), String_t("").ToLower());
    EXPECT_TRUE(String_t::Null().ToLower().IsNull());

    struct Case {
        const wchar_t* text;
        const wchar_t* trimmed;
    };
    const Case trims[] = {
        {L"  a b \t", L"a b"}, {L"\r\n\v\fx\r\n", L"x"}, {L"   ", L""}, {L"", L""}, {L"a", L"a"}};
    for (const Case& c : trims) {
        String_t text(c.text);
        EXPECT_EQ(String_t(c.trimmed), text.Trim());
    }
    EXPECT_EQ(String_t("\\"), String_t("C:\\x\\").Right(1));
    EXPECT_EQ(String_t("abc"), String_t("abc").Right(3));
    EXPECT_EQ(String_t("abc"), String_t("abc").Right(npos));
    EXPECT_EQ(String_t(""), String_t("abc").Right(0));
}

TEST(KaTekText, JoinsWithNarrowText) {
    EXPECT_EQ(String_t("pre-mid-post"), "pre-" + String_t("mid") + "-post");
    String_t text("a");
    text += "b";
    text += String_t("c");
    EXPECT_TRUE(text == "abc");
    EXPECT_TRUE(text != "abd");
}

TEST(KaTekText, NumbersInDecimal) {
    EXPECT_EQ(String_t("-2147483648"), KaTekStr::NumToStr(INT_MIN));
    EXPECT_EQ(String_t("0"), KaTekStr::NumToStr(0));
    EXPECT_EQ(String_t("4294967295"), KaTekStr::NumToStr(0xFFFFFFFFu));
    EXPECT_EQ(String_t("4294967295"), KaTekStr::NumToStr(static_cast<DWORD>(0xFFFFFFFFu)));
    EXPECT_EQ(String_t("18446744073709551615"), KaTekStr::NumToStr(ULLONG_MAX));
    EXPECT_EQ(String_t("-9223372036854775808"), KaTekStr::NumToStr(LLONG_MIN));
}

TEST(KaTekText, AsciiRoundTripsThroughTheAnsiCodePage) {
    std::string ascii;
    for (char c = 1; c < 127; ++c) {
        ascii += c;
    }
    const String_t text(ascii.c_str());
    ASSERT_EQ(ascii.size(), text.GetLength()); // one unit per ASCII character
    const KaTekStr::MBS_t narrow(text, KaTekStr::ENC_ANSI);
    EXPECT_EQ(ascii, std::string(narrow.c_str(), narrow.size()));
}

TEST(KaTekText, CharacterOutsideTheAnsiCodePage) {
    CPINFO info = {};
    ASSERT_TRUE(GetCPInfo(CP_ACP, &info));
    if (info.MaxCharSize != 1) {
        GTEST_SKIP() << "the ANSI code page " << GetACP() << " is not a single-byte one";
    }
    // U+4E2D is in no single-byte code page: it must come out as the code page's default
    // character, one byte, not as several bytes or nothing.
    const KaTekStr::MBS_t narrow(String_t(L"a\x4E2D"
                                          L"b"),
                                 KaTekStr::ENC_ANSI);
    ASSERT_EQ(3u, narrow.size());
    EXPECT_EQ('a', narrow.c_str()[0]);
    EXPECT_EQ(static_cast<char>(info.DefaultChar[0]), narrow.c_str()[1]);
    EXPECT_EQ('b', narrow.c_str()[2]);
}

TEST(KaTekText, Utf8RoundTrip) {
    const std::wstring wide = L"x\x00E9\x4E2D\xD83D\xDE00";
    const std::string utf8 = KaTekStr::NarrowUtf8(wide);
    EXPECT_EQ("x\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", utf8);
    EXPECT_EQ(wide, KaTekStr::WidenUtf8(utf8));
    EXPECT_EQ(std::wstring(), KaTekStr::WidenUtf8(""));
    const KaTekStr::MBS_t viaMbs(String_t(wide), KaTekStr::ENC_UTF8);
    EXPECT_EQ(utf8, std::string(viaMbs.c_str()));
}

} // namespace
