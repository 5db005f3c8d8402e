// Cleaning of ";"-separated lists: one slash direction, trimmed entries, each entry once.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <unordered_set>

namespace KaCtrl {

namespace {

// The piece [start, end) without the blanks at both ends.
std::pair<size_t, size_t> TrimPiece(const std::wstring& text, size_t start, size_t end) {
    while (start < end && KaTekStr::IsBlank(text[start])) {
        ++start;
    }
    while (end > start && KaTekStr::IsBlank(text[end - 1])) {
        --end;
    }
    return {start, end};
}

// ForEachPiece hands visit the bounds of each piece of text between ";" separators as strtok
// with ";" would: a run of separators counts as one and no piece is empty. The position
// lives in this call, so concurrent calls cannot disturb one another.
template <typename Visit> void ForEachPiece(const std::wstring& text, Visit visit) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find(L';', start), text.size());
        if (end > start) {
            visit(start, end);
        }
        start = end + 1;
    }
}

} // namespace

String_t AvoidDuplicate(String_t list) {
    // The list is cleaned as UTF-16, so every character survives as written and no
    // look-alike of ";" or "\" counts as one. As a C string splitter would, the list ends
    // at its first NUL.
    std::wstring units(list.c_str());
    std::replace(units.begin(), units.end(), L'\\', L'/');
    // One case mapping for the whole list. The invariant mapping changes no unit into more
    // or fewer units, so each piece's key lies at the same place in both texts.
    const std::wstring keys = String_t(units).ToLower().Std();
    if (keys.size() != units.size()) {
        KaTekMsg::ThrowRuntime(KaTekMsg::MSG_TEXT_CONVERT,
                               {String_t("lower case changed the length of the list")});
    }

    // A hash set beside the result keeps the order of first occurrence while each piece
    // is looked up in constant time, so long path lists clean in linear time.
    std::unordered_set<std::wstring_view> seenKeys;
    seenKeys.reserve(static_cast<size_t>(std::count(units.begin(), units.end(), L';')) + 1);
    std::wstring result;
    result.reserve(units.size());
    ForEachPiece(units, [&](size_t start, size_t end) {
        const auto [first, last] = TrimPiece(units, start, end);
        if (!seenKeys.insert(std::wstring_view(keys).substr(first, last - first)).second) {
            return;
        }
        // A blank first entry adds nothing here, yet its key above still drops later blanks.
        if (!result.empty()) {
            result += L';';
        }
        result.append(units, first, last - first);
    });
    return String_t(result);
}

} // namespace KaCtrl
