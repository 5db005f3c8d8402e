// Name replacement for directory variables. Searching the whole text again after every
// replacement, and shifting its tail on every edit, would make a text with thousands of
// variables cost the square of its length; the text is instead moved once onto a result
// that is known to hold no occurrence, and each value is moved on where its name stood.
#include "frame/Export.h"

#include "config/NameReplacement.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace KaCtrl {

namespace {

constexpr size_t kNone = std::wstring::npos;

void ReplaceEachOnce(const std::wstring& text, const std::wstring& name, const std::wstring& value,
                     size_t first, std::wstring& result) {
    result.assign(text, 0, first);
    size_t from = first;
    for (size_t found = first; found != kNone; found = text.find(name, from)) {
        result.append(text, from, found - from);
        result += value;
        from = found + name.size();
    }
    result.append(text, from, kNone);
}

// GrownLength answers the text's length after one more replacement, refusing a text that
// the string type could no longer carry.
size_t GrownLength(size_t length, const std::wstring& name, const std::wstring& value,
                   size_t longest) {
    if (value.size() > name.size() && value.size() - name.size() > longest - length) {
        throw std::length_error("directory variables grow the text beyond its longest length");
    }
    return length - name.size() + value.size();
}

// FirstEnd answers where, in piece, the first occurrence ends that the units of piece
// complete behind result, or kNone. As result holds none, an occurrence may begin in its
// last name.size() - 1 units (seam) and end early in piece, or lie wholly in piece.
size_t FirstEnd(const std::wstring& result, std::wstring_view piece, const std::wstring& name,
                std::wstring& seam) {
    const size_t reach = name.size() - 1;
    const size_t behind = std::min(reach, result.size());
    seam.assign(result, result.size() - behind, behind);
    seam.append(piece.substr(0, reach));
    const size_t inSeam = seam.find(name);
    if (inSeam != kNone) {
        return inSeam + name.size() - behind;
    }
    const size_t inPiece = piece.find(name);
    return inPiece == kNone ? kNone : inPiece + name.size();
}

// RewriteLeftmost moves text from first on onto the result, which starts with the units
// before the first occurrence. The first occurrence to appear behind the result is the
// one that ends first, which is also the leftmost (all have the same length): exactly what
// a search from the start would find. Its units are taken back off the result and the
// value is moved on in their place, so an occurrence the value forms with the units around
// it is found in turn.
void RewriteLeftmost(const std::wstring& text, const std::wstring& name, const std::wstring& value,
                     size_t first, size_t longest, std::wstring& result) {
    result.assign(text, 0, first);
    result.reserve(text.size());
    std::vector<std::wstring_view> pending{std::wstring_view(text).substr(first)};
    std::wstring seam;
    size_t length = text.size();
    while (!pending.empty()) {
        std::wstring_view& top = pending.back();
        const size_t end = FirstEnd(result, top, name, seam);
        result.append(top.substr(0, end));
        top.remove_prefix(std::min(end, top.size()));
        if (top.empty()) {
            pending.pop_back(); // a value ending in an occurrence leaves no empty pieces
        }
        if (end != kNone) {
            result.resize(result.size() - name.size());
            length = GrownLength(length, name, value, longest);
            pending.push_back(value);
        }
    }
}

void ReplaceFrom(std::wstring& text, const std::wstring& name, const std::wstring& value,
                 size_t first, std::wstring& spare, size_t longest) {
    if (value.find(name) != kNone) {
        ReplaceEachOnce(text, name, value, first, spare);
    } else {
        RewriteLeftmost(text, name, value, first, longest, spare);
    }
    text.swap(spare);
}

// Start is a place where a first unit stands, with up to four units after it packed, so
// that most names are told apart there without reaching into a text too large to cache.
struct Start {
    size_t at;
    uint64_t next;
};

constexpr size_t kPacked = 4;

uint64_t Packed(const wchar_t* units, size_t count) {
    uint64_t packed = 0;
    for (size_t i = 0; i < count && i < kPacked; ++i) {
        packed |= static_cast<uint64_t>(units[i] & 0xFFFF) << (16 * i);
    }
    return packed;
}

// StartsOf answers where unit stands in text, in ascending order.
std::vector<Start> StartsOf(const std::wstring& text, wchar_t unit) {
    std::vector<Start> starts;
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == unit) {
            starts.push_back({at, Packed(text.data() + at + 1, text.size() - at - 1)});
        }
    }
    return starts;
}

size_t FirstAt(const std::wstring& text, const std::vector<Start>& starts,
               const std::wstring& name) {
    const size_t packedUnits = std::min(kPacked, name.size() - 1);
    const uint64_t mask = packedUnits == kPacked ? ~0ull : (1ull << (16 * packedUnits)) - 1;
    const uint64_t next = Packed(name.data() + 1, packedUnits);
    for (const Start& start : starts) {
        if ((start.next & mask) == next && text.compare(start.at, name.size(), name) == 0) {
            return start.at;
        }
    }
    return kNone;
}

} // namespace

bool ReplaceEveryOccurrence(std::wstring& text, const std::wstring& name, const std::wstring& value,
                            std::wstring& spare, size_t longest) {
    const size_t first = name.empty() ? kNone : text.find(name);
    if (first == kNone) {
        return false;
    }
    ReplaceFrom(text, name, value, first, spare, longest);
    return true;
}

bool ReplaceInTurn(std::wstring& text, const std::vector<NameAndValue>& names, size_t longest) {
    std::vector<Start> starts;
    wchar_t indexed = L'\0';
    bool stale = true; // the text changed since starts was made
    std::wstring spare;
    bool found = false;
    for (const NameAndValue& pair : names) {
        if (pair.name.empty()) {
            continue;
        }
        if (stale || indexed != pair.name[0]) {
            indexed = pair.name[0];
            starts = StartsOf(text, indexed);
            stale = false;
        }
        const size_t first = FirstAt(text, starts, pair.name);
        if (first != kNone) {
            ReplaceFrom(text, pair.name, pair.value, first, spare, longest);
            stale = found = true;
        }
    }
    return found;
}

} // namespace KaCtrl
