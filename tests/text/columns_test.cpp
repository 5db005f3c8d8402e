// The column formatters: padded on the right to their width, never cut.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"

TEST(Columns, PadsShortFieldsAndLeavesLongOnesWhole) {
    using KaTekStr::String_t;
    const std::pair<String_t (*)(const String_t&), size_t> columns[] = {
        {KaCtrl::FormatName, 11},
        {KaCtrl::FormatDescription, 35},
        {KaCtrl::FormatCategory, 12},
        {KaCtrl::FormatPID, 8}};
    for (const auto& [format, width] : columns) {
        const std::wstring exact(width, L'x'), longer(width + 5, L'x');
        // Empty, shorter, exactly the width (nothing added), longer (not cut).
        const std::pair<std::wstring, std::wstring> rows[] = {
            {L"", std::wstring(width, L' ')},
            {L"123", L"123" + std::wstring(width - 3, L' ')},
            {exact, exact},
            {longer, longer},
        };
        for (const auto& [field, expected] : rows) {
            EXPECT_EQ(format(String_t(field)).Std(), expected) << width << ", " << field.size();
        }
    }
}
