// Name replacement for directory variables. Searching the whole text again after every
// replacement, and shifting its tail on every edit, would make a text with thousands of
// variables cost the square of its length; the text is instead moved once onto a result
// that is known to hold no occurrence, and each value is moved on where its name stood.
#include "config/NameReplacement.h"

#include "config/NameIndex.h"

#include <algorithm>
#include <cstdint>
#include <string_view>
#include <vector>

namespace KaCtrl {

namespace {

constexpr size_t kNone = std::wstring::npos;

void ReplaceEachOnce(const std::wstring& text, const std::wstring& name, const std::wstring& value,
                     size_t first, ReplacementBudget& budget, std::wstring& result) {
    result.assign(text, 0, first);
    size_t from = first;
    for (size_t found = first; found != kNone; found = text.find(name, from)) {
        ChargeInsertion(budget, value.size());
        result.append(text, from, found - from);
        result += value;
        from = found + name.size();
    }
    result.append(text, from, kNone);
    budget.work += (text.size() - first) + (result.size() - first);
}

// FindFirstEnd answers where, in piece, the first occurrence ends that the units of piece
// complete behind result, or kNone. As result holds none, an occurrence may begin in its
// last name.size() - 1 units (seam) and end early in piece, or lie wholly in piece. The
// units of piece it looks at are those the caller then moves; the seam's are added to work.
size_t FindFirstEnd(const std::wstring& result, std::wstring_view piece, const std::wstring& name,
                    std::wstring& seam, size_t& work) {
    const size_t reach = name.size() - 1;
    const size_t behind = std::min(reach, result.size());
    seam.assign(result, result.size() - behind, behind);
    seam.append(piece.substr(0, reach));
    work += seam.size();
    const size_t inSeam = seam.find(name);
    if (inSeam != kNone) {
        return inSeam + name.size() - behind;
    }
    const size_t inPiece = piece.find(name);
    return inPiece == kNone ? kNone : inPiece + name.size();
}

// MakeRoom lets result take more units, doubling its capacity as the string type does, yet
// never beyond ceiling, the longest it can still become: a result near the budget takes
// no memory it could not use.
void MakeRoom(std::wstring& result, size_t more, size_t ceiling) {
    if (result.size() + more > result.capacity()) {
        result.reserve(std::min(std::max(2 * result.capacity(), result.size() + more), ceiling));
    }
}

// RewriteLeftmost moves text from first on onto the result, which starts with the units
// before the first occurrence. The first occurrence to appear behind the result is the
// one that ends first, which is also the leftmost (all have the same length): exactly what
// a search from the start would find. Its units are taken back off the result and the
// value is put before what is still to move, so an occurrence the value forms with the
// units around it is found in turn. Every unit is moved once and every replacement takes
// name.size() units back, so the work is linear in the units of the text and the values.
void RewriteLeftmost(const std::wstring& text, const std::wstring& name, const std::wstring& value,
                     size_t first, ReplacementBudget& budget, std::wstring& result) {
    result.assign(text, 0, first);
    // What is still to move, read from the top: the rests of values inserted, none empty,
    // each by where it starts in value (a cascade may stack one per replacement), then the
    // rest of the text. Charged values fit String_t, so their offsets fit 32 bits.
    std::wstring_view rest = std::wstring_view(text).substr(first);
    std::vector<uint32_t> valueRests;
    size_t pendingUnits = rest.size();
    std::wstring seam;
    while (!rest.empty() || !valueRests.empty()) {
        const std::wstring_view top =
            valueRests.empty() ? rest : std::wstring_view(value).substr(valueRests.back());
        const size_t end = FindFirstEnd(result, top, name, seam, budget.work);
        const size_t moved = std::min(end, top.size());
        MakeRoom(result, moved, result.size() + pendingUnits + budget.allowed - budget.inserted);
        result.append(top.substr(0, moved));
        budget.work += moved;
        pendingUnits -= moved;
        if (valueRests.empty()) {
            rest.remove_prefix(moved);
        } else if ((valueRests.back() += static_cast<uint32_t>(moved)) == value.size()) {
            valueRests.pop_back();
        }
        if (end != kNone) {
            result.resize(result.size() - name.size());
            ChargeInsertion(budget, value.size());
            if (!value.empty()) {
                valueRests.push_back(0);
                pendingUnits += value.size();
            }
        }
    }
}

void ReplaceFrom(const std::wstring& text, const std::wstring& name, const std::wstring& value,
                 size_t first, ReplacementBudget& budget, std::wstring& result) {
    if (value.find(name) != kNone) {
        ReplaceEachOnce(text, name, value, first, budget, result);
    } else {
        RewriteLeftmost(text, name, value, first, budget, result);
    }
}

// StartsIndex is the index of one unit's places in the text being replaced, kept while
// names that start with that unit take their turns and the text stays as it is.
struct StartsIndex {
    std::vector<UnitStart> starts;
    wchar_t unit = L'\0';
    bool current = false;
};

// IndexFor makes index the index of unit's places in text, unless it is already.
void IndexFor(const std::wstring& text, wchar_t unit, StartsIndex& index, size_t& work) {
    if (!index.current || index.unit != unit) {
        IndexStarts(text, unit, index.starts);
        index.unit = unit;
        index.current = true;
        work += text.size();
    }
}

// LikelyLength answers how long text becomes if each name's occurrences in it take its
// value and no value forms or holds a name, at most kLongestText.
size_t LikelyLength(const std::wstring& text, const std::vector<NameAndValue>& names,
                    StartsIndex& index, size_t& work) {
    size_t likely = text.size();
    for (const NameAndValue& pair : names) {
        if (pair.name.empty() || pair.value.size() <= pair.name.size()) {
            continue;
        }
        IndexFor(text, pair.name[0], index, work);
        work += index.starts.size();
        // Each factor fits 32 bits, so the product fits 64.
        const size_t grown =
            std::min(CountOccurrences(text, index.starts, pair.name), kLongestText) *
            std::min(pair.value.size() - pair.name.size(), kLongestText);
        likely = std::min(kLongestText, likely + std::min(grown, kLongestText));
    }
    return likely;
}

} // namespace

ReplacementBudget MakeBudget(const std::wstring& text, const std::vector<NameAndValue>& names) {
    size_t shortest = kLongestText, longest = 0;
    std::wstring firstUnits;
    for (const NameAndValue& pair : names) {
        if (!pair.name.empty()) {
            shortest = std::min(shortest, pair.name.size());
            longest = std::max(longest, pair.value.size());
            firstUnits += firstUnits.find(pair.name[0]) == kNone ? pair.name.substr(0, 1) : L"";
        }
    }
    size_t starts = 0;
    for (const wchar_t unit : firstUnits) {
        starts += static_cast<size_t>(std::count(text.begin(), text.end(), unit));
    }
    return {ComputeAllowance(text.size(), std::min(starts, text.size() / shortest), longest)};
}

bool ReplaceInTurn(const std::wstring& text, const std::vector<NameAndValue>& names,
                   ReplacementBudget& budget, std::wstring& result) {
    // Each name is replaced from one buffer into the other; text itself is only read. Both
    // buffers are given the likely length at once: grown name after name, each would be
    // moved to new memory about twice, and a large text's fresh memory costs more than
    // replacing its names.
    StartsIndex index;
    const size_t likely = LikelyLength(text, names, index, budget.work);
    const std::wstring* now = &text;
    std::wstring spare;
    for (const NameAndValue& pair : names) {
        if (pair.name.empty()) {
            continue;
        }
        IndexFor(*now, pair.name[0], index, budget.work);
        const size_t first = FindFirstAt(*now, index.starts, pair.name);
        budget.work += index.starts.size();
        if (first != kNone) {
            const size_t ceiling = now->size() + budget.allowed - budget.inserted;
            spare.reserve(std::max(now->size(), std::min(likely, ceiling)));
            ReplaceFrom(*now, pair.name, pair.value, first, budget, spare);
            result.swap(spare);
            now = &result;
            index.current = false;
        }
    }
    return now == &result;
}

} // namespace KaCtrl
