// Internal: replacing every occurrence of names in a text by their values, with the result
// of the plain loop "find the first occurrence, replace it, search again from the start",
// in time proportional to the text handled instead of its square, and within a budget.
#pragma once

#include "config/ReplacementBudget.h"

#include <string>
#include <vector>

namespace KaCtrl {

struct NameAndValue {
    std::wstring name;
    std::wstring value;
};

// MakeBudget answers the budget for replacing names in text: the ComputeAllowance of
// their longest value and of the most names the text can hold. Those do not overlap, each
// starts at a unit that is some name's first, and each takes the shortest name's length at
// least: no more than the fewer of those units and of the text's length over that length.
ReplacementBudget MakeBudget(const std::wstring& text, const std::vector<NameAndValue>& names);

// ReplaceInTurn replaces every occurrence of each name in text by its value, the names in
// the order given, leftmost first, and answers whether any name was found; result then
// holds the replaced text. Where a value and the text around it form the name again, that
// occurrence is replaced as well, as a search from the start would find it. A value that
// holds its own name would be found again without end; then each occurrence the text holds
// at that name's turn is replaced once, left to right, and no inserted value is searched
// for it again. Each value is charged to budget before it is inserted: std::length_error
// once the values inserted would pass what the budget allows. Empty names are skipped. The
// work is linear: for each name found, about its length times the units of the text and
// of the values inserted.
bool ReplaceInTurn(const std::wstring& text, const std::vector<NameAndValue>& names,
                   ReplacementBudget& budget, std::wstring& result);

} // namespace KaCtrl
