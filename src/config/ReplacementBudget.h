// Internal: the bound on what a replacement of names may insert into a text. Where values
// keep forming names again with the text around them, a replacement can grow without end
// or, still ending, far beyond any useful length. Telling the two apart in general costs far
// more than the replacement itself, so every replacement instead gets a budget of units it
// may insert: ample for every replacement in which no value forms or holds a name, and
// charged in constant time before any memory is taken.
#pragma once

#include <cstddef>

namespace KaCtrl {

// kLongestText is the longest text String_t can carry: its lengths are 32-bit, and the
// largest value stands for "not found".
inline constexpr size_t kLongestText = 0xFFFFFFFEu;

// kCascadeAllowance is what a budget allows beyond the longest ordinary result, so that a
// value forming a name again a few times still gives its result.
inline constexpr size_t kCascadeAllowance = size_t{1} << 20;

// ReplacementBudget is how many units of values a replacement may insert in all, and what
// it did: the units of values it inserted, and its work, the units it looked at or wrote (a
// measure of its time).
struct ReplacementBudget {
    size_t allowed;
    size_t inserted = 0;
    size_t work = 0;
};

// ComputeAllowance answers how many units of values a replacement in a text of
// textLength units may insert, when the text can hold at most occurrences names:
// occurrences x longestValue + kCascadeAllowance, less where the text would then pass
// kLongestText. A replacement in which no value forms or holds a name replaces only names
// the text held, so it inserts at most the first term.
size_t ComputeAllowance(size_t textLength, size_t occurrences, size_t longestValue);

// ChargeInsertion takes units from the budget before they are inserted; throws
// std::length_error, the budget unchanged, when they would pass what it allows.
void ChargeInsertion(ReplacementBudget& budget, size_t units);

} // namespace KaCtrl
