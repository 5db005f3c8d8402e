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
        // Empty, shorter, exactly the width (nothing added), longer (not cut).
        for (const size_t length : {size_t{0}, size_t{3}, width, width + 5}) {
            const std::wstring field(length, L'x');
            const std::wstring padding(length < width ? width - length : 0, L' ');
            EXPECT_EQ(format(String_t(field)).Std(), field + padding) << width << ", " << length;
        }
    }
}
