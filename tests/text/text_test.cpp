// The text functions that need no installation: GetLastErrorText against the platform's own
// message table (read through the wide call, so that the test does not walk the library's
// path), the file-name forms, and gettimeofday against the platform's clock with the
// narrowing of the seconds count to timeval's 32-bit field on its own, since times after 2038
// cannot be waited for. (The column formatters are judged by outside_test's
// TextBoundary.LookAlikesNeverBecomeAscii.)
#include <gtest/gtest.h>

#include "Generator.h"
#include "KaCtrlUtils.h"
#include "Sandbox.h"
#include "text/TimeOfDay.h"

#include <algorithm>
#include <climits>
#include <random>
#include <set>

using KaTekStr::String_t;
using namespace std::string_literals; // L"..."s keeps a NUL and what follows it

// The system's text for code as stored, inserts as written; empty when it has none.
static std::wstring ReadRawSystemText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text(buffer ? buffer : L"", length);
    ::LocalFree(buffer);
    return text;
}

TEST(ErrorText, SystemTextWithoutItsLineEndThenTheCode) {
    // 193's text holds an insert, "%1", which stays as written; codes with the top bit set
    // read as unsigned decimals.
    ASSERT_NE(ReadRawSystemText(ERROR_BAD_EXE_FORMAT).find(L"%1"), std::wstring::npos);
    for (DWORD code : {0ul, 193ul, 0x80070005ul}) {
        const std::wstring system = ReadRawSystemText(code);
        const size_t size = system.size();
        // The text closes with one line end; that is what must be cut, and only that.
        ASSERT_TRUE(size > 2 && system.substr(size - 2) == L"\r\n" && system[size - 3] != L'\n')
            << code;
        EXPECT_EQ(KaCtrl::GetLastErrorText(code).Std(),
                  system.substr(0, size - 2) + L" (" + std::to_wstring(code) + L")");
    }
    // Codes with the customer bit (0x20000000) are never the system's own.
    for (DWORD code : {0x2000ABCDul, 0xFFFFFFFFul}) {
        ASSERT_TRUE(ReadRawSystemText(code).empty()) << code << " is known here";
        EXPECT_EQ(KaCtrl::GetLastErrorText(code).Std(), L"N/A ") << code;
    }
}

// The column formatters and their widths.
const std::pair<String_t (*)(const String_t&), size_t> kColumns[] = {
    {KaCtrl::FormatName, 11},
    {KaCtrl::FormatDescription, 35},
    {KaCtrl::FormatCategory, 12},
    {KaCtrl::FormatPID, 8}};

// Each width at the width itself and one unit on either side: shorter texts are padded to it,
// and none is ever cut.
TEST(Columns, PadToTheWidthAndNeverCut) {
    for (const auto& [format, width] : kColumns) {
        for (const size_t length : {size_t{0}, width - 1, width, width + 1}) {
            const std::wstring text(length, L'x');
            EXPECT_EQ(format(String_t(text)).Std(),
                      text + std::wstring(width - std::min(width, length), L' '))
                << width << " " << length;
        }
    }
}

// Hostile texts keep every unit through the file forms (no backslash is left before the first
// NUL) and the columns, which pad on the right to their width and never cut, a NUL or a lone
// surrogate no end; thrice the text passes every width.
TEST(Columns, HostileTextsKeepEveryUnit) {
    KaTest::Generator gen{std::mt19937(7)};
    for (int round = 0; round < 600; ++round) {
        const std::wstring text = gen.Text(12);
        const std::wstring uri = KaCtrl::FileNameToURI(String_t(text), false).Std();
        EXPECT_EQ(std::wstring::npos, uri.substr(0, uri.find(L'\0')).find(L'\\'));
        const std::wstring field = KaCtrl::ReverseSlashes(String_t(uri + uri + uri)).Std();
        EXPECT_EQ(3 * text.size(), field.size());
        for (const auto& [format, width] : kColumns) {
            const std::wstring padding(field.size() < width ? width - field.size() : 0, L' ');
            EXPECT_EQ(field + padding, format(String_t(field)).Std()) << width;
        }
    }
}

// File-name forms: backslashes to slashes with optional space escapes, and back.

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

// Seconds since 1970 by the platform's own clock, not the C runtime's.
static int64_t PlatformSeconds() {
    ULARGE_INTEGER ticks; // of 100 ns since 1601
    ::GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&ticks));
    return static_cast<int64_t>((ticks.QuadPart - 116444736000000000ULL) / 10000000ULL);
}

TEST(TimeOfDay, FillsTheRecordWithThePlatformTimeButNotNull) {
    EXPECT_EQ(KaCtrl::gettimeofday(nullptr, nullptr), -1);
    std::set<long> microseconds;
    for (int sample = 0; sample < 20; ++sample, ::Sleep(7)) {
        const int64_t before = PlatformSeconds();
        timeval tv = {-7, -7};
        ASSERT_EQ(KaCtrl::gettimeofday(&tv, nullptr), 0);
        EXPECT_TRUE(before - 1 <= tv.tv_sec && tv.tv_sec <= PlatformSeconds() + 1) << tv.tv_sec;
        EXPECT_TRUE(tv.tv_usec >= 0 && tv.tv_usec < 1000000 && tv.tv_usec % 1000 == 0)
            << tv.tv_usec;
        microseconds.insert(tv.tv_usec);
    }
    // The sub-second part moves: it is not left at 0 or at one stale value.
    EXPECT_GT(microseconds.size(), 1u);
}

TEST(TimeOfDay, SecondsKeepTheirLow32Bits) {
    // 2038-01-19 03:14:07 is the last second that fits; one second later wraps.
    EXPECT_EQ(KaCtrl::ToTimevalSeconds(0x7FFFFFFF), LONG_MAX);
    EXPECT_EQ(KaCtrl::ToTimevalSeconds(0x80000000LL), LONG_MIN);
    EXPECT_EQ(KaCtrl::ToTimevalSeconds(0x100000000LL + 1700000000), 1700000000); // past 2106
    EXPECT_EQ(KaCtrl::ToTimevalSeconds(-1), -1); // before 1970 stays as it was
}
