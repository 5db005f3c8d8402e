// AvoidDuplicate: one table of edge cases, the characters the ANSI code page cannot hold,
// and generated lists checked against a plain reading of the cleaning rules.
#include "KaCtrlUtils.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using KaTekStr::String_t;

struct Case {
    const char* what;
    std::wstring list;
    std::wstring cleaned;
};

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end()); // ASCII only, for messages
}

TEST(AvoidDuplicate, CleansEdgeCases) {
    const Case cases[] = {
        {"empty", L"", L""},
        {"separators only", L";;;", L""},
        {"outer and doubled separators", L";a;;b;", L"a;b"},
        {"repeats", L"a;b;a;c;b", L"a;b;c"},
        {"already clean", L"a;b;c", L"a;b;c"},
        {"case and blanks, first form kept", L" a ; A ;b", L"a;b"},
        {"tabs and line ends are blanks", L"\ta\r\n;A\f;\vb ", L"a;b"},
        {"case and slash direction", L"C:\\Tools;c:/tools;C:\\Bin", L"C:/Tools;C:/Bin"},
        {"backslash in a lone entry", L"x\\y", L"x/y"},
        {"every backslash turned", L"\\\\server\\share\\a;//SERVER/Share/A", L"//server/share/a"},
        {"trailing slash is another entry", L"C:/a;C:/a/", L"C:/a;C:/a/"},
        {"dot component is another entry", L"C:/a;C:/./a", L"C:/a;C:/./a"},
        {"inner blanks stay", L"C:/Program Files;c:/program files ; C:/ProgramFiles",
         L"C:/Program Files;C:/ProgramFiles"},
        {"blank before a kept entry adds nothing", L" ;a", L"a"},
        {"blank first takes the empty key", L" ; ;a; ;b", L"a;b"},
        {"blank after a kept entry", L"a; ;b", L"a;;b"},
        {"blank at the end", L"a; ", L"a;"},
        {"second blank dropped", L"a; ; ;b", L"a;;b"},
        {"blanks only", L"  ; \t ;", L""},
        {"a NUL ends the list as it ends the narrow text", std::wstring(L"a;b\0;c", 6), L"a;b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        String_t list(c.list.c_str(), static_cast<uint32_t>(c.list.size()));
        EXPECT_EQ(Narrow(c.cleaned), Narrow(KaCtrl::AvoidDuplicate(list).Std()));
    }
}

TEST(AvoidDuplicate, KeepsTheNullTextApart) {
    // Whatever came in, a text (never the null text) comes out.
    EXPECT_FALSE(KaCtrl::AvoidDuplicate(String_t::Null()).IsNull());
    EXPECT_FALSE(KaCtrl::AvoidDuplicate(String_t(";")).IsNull());
}

// What the ANSI code page makes of text, through the platform's own conversions.
std::wstring ThroughAnsi(const std::wstring& text) {
    const int narrowSize =
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string narrow(static_cast<size_t>(narrowSize), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &narrow[0], narrowSize, nullptr, nullptr);
    const int wideSize = MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, nullptr, 0);
    std::wstring wide(static_cast<size_t>(wideSize), L'\0');
    MultiByteToWideChar(CP_ACP, 0, narrow.c_str(), -1, &wide[0], wideSize);
    return wide.substr(0, wide.find(L'\0'));
}

TEST(AvoidDuplicate, ReturnsEntriesAsTheAnsiCodePageTurnsThem) {
    // U+4E2D and U+6587 are outside every single-byte Windows code page: both become the
    // code page's default character, so two different names collapse into one entry.
    const std::wstring outside = L"C:\\\u4E2D;c:/\u6587;D:/x";
    const std::wstring turned = ThroughAnsi(L"C:/\u4E2D");
    if (turned == L"C:/\u4E2D") {
        GTEST_SKIP() << "the ANSI code page " << GetACP() << " holds U+4E2D";
    }
    EXPECT_EQ(turned + L";D:/x", KaCtrl::AvoidDuplicate(String_t(outside.c_str())).Std());

    // Characters the code page holds come back unchanged and compare without letter case.
    if (ThroughAnsi(L"Caf\u00E9") == L"Caf\u00E9") {
        EXPECT_EQ(std::wstring(L"Caf\u00E9;x"),
                  KaCtrl::AvoidDuplicate(String_t(L"Caf\u00E9;CAF\u00C9;x")).Std());
    }
}

// A plain reading of the cleaning rules, for lists of ASCII text.
std::wstring CleanedByTheRules(std::wstring list) {
    std::replace(list.begin(), list.end(), L'\\', L'/');
    std::vector<std::wstring> seen;
    std::wstring result;
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = std::min(list.find(L';', start), list.size());
        std::wstring piece = list.substr(start, end - start);
        start = end + 1;
        if (piece.empty()) {
            continue;
        }
        const size_t first = piece.find_first_not_of(L" \t\r\n\v\f");
        const size_t last = piece.find_last_not_of(L" \t\r\n\v\f");
        piece = first == std::wstring::npos ? L"" : piece.substr(first, last - first + 1);
        std::wstring key = piece;
        std::transform(key.begin(), key.end(), key.begin(), ::towlower);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) {
            continue;
        }
        seen.push_back(key);
        result = result.empty() ? piece : result + L";" + piece;
    }
    return result;
}

TEST(AvoidDuplicate, AgreesWithTheRulesOnGeneratedLists) {
    // Few distinct letters, so that repeats in other case, slash direction and blanks are
    // frequent, as are blank pieces and runs of separators.
    const wchar_t alphabet[] = L"aAbB/\\; \t;";
    std::mt19937 random(20240607);
    std::uniform_int_distribution<size_t> letter(0, sizeof(alphabet) / sizeof(wchar_t) - 2);
    std::uniform_int_distribution<size_t> length(0, 24);
    for (int round = 0; round < 3000; ++round) {
        std::wstring list(length(random), L' ');
        for (wchar_t& unit : list) {
            unit = alphabet[letter(random)];
        }
        SCOPED_TRACE(Narrow(list));
        ASSERT_EQ(Narrow(CleanedByTheRules(list)),
                  Narrow(KaCtrl::AvoidDuplicate(String_t(list.c_str())).Std()));
    }
}

} // namespace
