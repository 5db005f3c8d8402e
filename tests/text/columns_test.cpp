// The column formatters: padded on the right to their width, never cut.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"

#include <string>
#include <utility>

using KaTekStr::String_t;

TEST(Columns, PadsShortFieldsAndLeavesLongOnesWhole) {
    const std::pair<String_t (*)(const String_t&), size_t> columns[] = {
        {KaCtrl::FormatName, 11},
        {KaCtrl::FormatDescription, 35},
        {KaCtrl::FormatCategory, 12},
        {KaCtrl::FormatPID, 8},
    };
    for (const auto& [format, width] : columns) {
        const std::wstring exact(width, L'x'), longer(width + 5, L'x');
        const struct {
            std::wstring field, expected;
        } rows[] = {
            {L"", std::wstring(width, L' ')},
            {L"123", L"123" + std::wstring(width - 3, L' ')},
            {exact, exact},   // nothing added
            {longer, longer}, // not cut
        };
        for (const auto& row : rows) {
            EXPECT_EQ(format(String_t(row.field)).Std(), row.expected)
                << "width " << width << ", " << row.field.size() << " characters";
        }
    }
}
