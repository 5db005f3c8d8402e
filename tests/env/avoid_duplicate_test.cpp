// AvoidDuplicate: the edge cases of the cleaning rules, in one table.
#include "KaCtrlUtils.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

using KaTekStr::String_t;

TEST(AvoidDuplicate, CleansEdgeCases) {
    const struct {
        const char* what;
        std::wstring list;
        std::wstring cleaned;
    } cases[] = {
        {"empty", L"", L""},
        {"separators only", L";;;", L""},
        {"outer and doubled separators", L";a;;b;", L"a;b"},
        {"repeats, first occurrences in order", L"a;b;a;c;b", L"a;b;c"},
        {"case and blanks, first form kept", L" a\t;\r\nA ;\f\vb ", L"a;b"},
        {"case and slash direction", L"C:\\Tools;c:/tools;\\\\srv\\Share;//SRV/share",
         L"C:/Tools;//srv/Share"},
        {"nothing else is normalised", L"C:/a;C:/a/;C:/./a;C:/a b;c:/A b ;C:/ab",
         L"C:/a;C:/a/;C:/./a;C:/a b;C:/ab"},
        {"a blank first adds nothing, yet takes the empty key", L" ; ;a; ;b", L"a;b"},
        {"a blank after a kept entry, once", L"a; ; ;b", L"a;;b"},
        {"a blank at the end", L"a; ", L"a;"},
        {"a NUL ends the list as it ends the narrow text", std::wstring(L"a;b\0;c", 6), L"a;b"},
        // Entries are compared and returned as the ANSI code page holds them: U+4E2D and
        // U+6587 both become its default character, so two names collapse into one.
        {"outside the ANSI code page", L"C:\\\u4E2D;c:/\u6587;D:/x", L"C:/?;D:/x"},
        {"letter case inside the ANSI code page", L"Caf\u00E9;CAF\u00C9;x", L"Caf\u00E9;x"},
    };
    ASSERT_EQ(1252u, GetACP()) << "the last rows assume the Western code page of Wine's prefix";
    // Whatever comes in, a text (never the null text) comes out.
    EXPECT_FALSE(KaCtrl::AvoidDuplicate(String_t::Null()).IsNull());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const String_t list(c.list.c_str(), static_cast<uint32_t>(c.list.size()));
        EXPECT_EQ(c.cleaned, KaCtrl::AvoidDuplicate(list).Std());
    }
}

} // namespace
