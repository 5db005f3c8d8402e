// The column formatters: padded on the right to their width, never cut.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Sandbox.h"

#include <string>
#include <vector>

using KaTekStr::String_t;

namespace {

using Formatter = String_t (*)(const String_t&);

struct Column {
    const char* name;
    Formatter format;
    size_t width;
};

const std::vector<Column> kColumns = {
    {"FormatName", KaCtrl::FormatName, 11},
    {"FormatDescription", KaCtrl::FormatDescription, 35},
    {"FormatCategory", KaCtrl::FormatCategory, 12},
    {"FormatPID", KaCtrl::FormatPID, 8},
};

std::wstring Spaces(size_t count) {
    return std::wstring(count, L' ');
}

std::wstring Letters(size_t count) {
    std::wstring text;
    for (size_t index = 0; index < count; ++index) {
        text += static_cast<wchar_t>(L'a' + index % 26);
    }
    return text;
}

} // namespace

TEST(Columns, PadsShortFieldsAndLeavesLongOnesWhole) {
    for (const Column& column : kColumns) {
        const size_t width = column.width;
        struct Row {
            std::wstring field;
            std::wstring expected;
        };
        const std::vector<Row> rows = {
            {L"", Spaces(width)},
            {L"  ", Spaces(width)},
            {L"123", L"123" + Spaces(width - 3)},
            {L" x ", L" x " + Spaces(width - 3)},
            // One character of a text is one unit, whatever its code.
            {L"\u00fc\u20ac", L"\u00fc\u20ac" + Spaces(width - 2)},
            {Letters(width - 1), Letters(width - 1) + L" "},
            {Letters(width), Letters(width)},
            {Letters(width) + L" ", Letters(width) + L" "},
            {Letters(width + 5), Letters(width + 5)},
            {Spaces(width + 2), Spaces(width + 2)},
        };
        for (const Row& row : rows) {
            EXPECT_EQ(column.format(String_t(row.field)).Std(), row.expected)
                << column.name << "('" << KaTest::Utf8(row.field) << "')";
        }
    }
}

TEST(Columns, NullTextIsAnEmptyField) {
    for (const Column& column : kColumns) {
        EXPECT_EQ(column.format(String_t::Null()).Std(), Spaces(column.width)) << column.name;
    }
}

TEST(Columns, KnownCases) {
    EXPECT_EQ(KaCtrl::FormatName(String_t("")).Std(), L"           ");
    EXPECT_EQ(KaCtrl::FormatPID(String_t("412")).Std(), L"412     ");
    const std::wstring forty = L"Control daemon of the management agent..";
    ASSERT_EQ(forty.size(), 40u);
    EXPECT_EQ(KaCtrl::FormatDescription(String_t(forty)).Std(), forty);
    EXPECT_EQ(KaCtrl::FormatCategory(String_t("Core")).Std(), L"Core        ");
    // A row built from the columns: nothing is put between them.
    String_t row = KaCtrl::FormatName(String_t("kacd")) + KaCtrl::FormatPID(String_t("123456789")) +
                   KaCtrl::FormatCategory(String_t("Core"));
    EXPECT_EQ(row.Std(), L"kacd       123456789Core        ");
}
