// The insertion budget of a replacement of names.
#include "config/ReplacementBudget.h"

#include <algorithm>
#include <stdexcept>

namespace KaCtrl {

// Size_t has 64 bits here, and each factor at most 32, so the product cannot overflow.
static_assert(sizeof(size_t) >= 8);

size_t InsertionAllowance(size_t textLength, size_t shortestName, size_t longestValue) {
    if (textLength >= kLongestText) {
        return 0;
    }
    // A value longer than String_t carries could never be inserted in full.
    const size_t occurrences = textLength / std::max<size_t>(shortestName, 1) + 1;
    const size_t ordinary = occurrences * std::min(longestValue, kLongestText);
    return std::min(kLongestText - textLength, ordinary + kCascadeAllowance);
}

void ChargeInsertion(ReplacementBudget& budget, size_t units) {
    if (units > budget.allowed - budget.inserted) {
        throw std::length_error("directory variables' values would form names beyond the "
                                "longest text the replacement may give");
    }
    budget.inserted += units;
}

} // namespace KaCtrl
