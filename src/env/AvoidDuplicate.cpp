// Cleaning of ";"-separated lists: one slash direction, trimmed entries, each entry once.
#include "frame/Export.h"

#include <algorithm>
#include <string>
#include <unordered_set>

namespace KaCtrl {

namespace {

String_t WithForwardSlashes(const String_t& list) {
    // One pass over the units: searching again from the start after each backslash would
    // grow with the square of a long list.
    std::wstring units = list.Std();
    std::replace(units.begin(), units.end(), L'\\', L'/');
    return String_t(units);
}

// ForEachPiece hands visit each piece of buffer between ";" separators as strtok with ";"
// would: a run of separators counts as one and no piece is empty. The position lives in
// this call rather than in strtok's hidden state, so concurrent calls cannot disturb one
// another. Pieces are cut in place.
template <typename Visit> void ForEachPiece(std::string& buffer, Visit visit) {
    size_t start = 0;
    while (start < buffer.size()) {
        size_t end = buffer.find(';', start);
        if (end == std::string::npos) {
            end = buffer.size();
        }
        if (end > start) {
            buffer[end] = '\0';
            visit(buffer.c_str() + start);
        }
        start = end + 1;
    }
}

} // namespace

String_t AvoidDuplicate(String_t list) {
    // Entries are compared and returned as they come back from the ANSI code page, so two
    // characters that the code page cannot tell apart make one entry. The narrow text is
    // read up to its first NUL, where a C string splitter would stop.
    MBS_t narrow(WithForwardSlashes(list), KaTekStr::ENC_ANSI);
    std::string buffer(narrow.c_str());

    // A hash set beside the result keeps the order of first occurrence while each piece
    // is looked up in constant time, so long path lists clean in linear time. Room for
    // both is taken at once: the cleaned list is never longer than the narrow one.
    std::unordered_set<std::wstring> seenKeys;
    seenKeys.reserve(static_cast<size_t>(std::count(buffer.begin(), buffer.end(), ';')) + 1);
    std::wstring result;
    result.reserve(buffer.size());
    ForEachPiece(buffer, [&seenKeys, &result](const char* piece) {
        String_t entry(piece);
        entry.Trim();
        if (!seenKeys.insert(entry.ToLower().Std()).second) {
            return;
        }
        // A blank first entry adds nothing here, yet its key above still drops later blanks.
        if (!result.empty()) {
            result += L';';
        }
        result += entry.Std();
    });
    return String_t(result);
}

} // namespace KaCtrl
