// The insertion budget of a replacement of names.
#include "config/ReplacementBudget.h"

#include <algorithm>
#include <stdexcept>

namespace KaCtrl {

// Size_t has 64 bits here, and each factor at most 32, so the product cannot overflow.
static_assert(sizeof(size_t) >= 8);

size_t ComputeAllowance(size_t textLength, size_t occurrences, size_t longestValue) {
    if (textLength >= kLongestText) {
        return 0;
    }
    // Neither more names than units, nor a value longer than String_t carries, can be
    // inserted in full.
    const size_t ordinary =
        std::min(occurrences, textLength) * std::min(longestValue, kLongestText);
    return std::min(kLongestText - textLength, ordinary + kCascadeAllowance);
}

void ChargeInsertion(ReplacementBudget& budget, size_t units) {
    if (units > budget.allowed - budget.inserted) {
        throw std::length_error("directory variables' values keep forming names again: "
                                "replacing them would pass the bound of this text");
    }
    budget.inserted += units;
}

} // namespace KaCtrl
