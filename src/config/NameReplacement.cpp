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

// EndlessWatch tells a replacement that can never end. Leftmost replacement moves units
// one by one onto the result and, whenever the result ends in the name, takes the name off
// and puts the value before the units still to move. What happens between two replacements
// depends only on the result's units from n - 1 below the lowest point it was cut back to
// (n the name's length), and on the units moved from what was still to move at the first.
// When, at a later replacement, the result ends in those same units and what is to move
// starts with those same units again, followed by what was left of it at the first, the
// same stretch follows, ending in the same state again: without end. The watch compares
// each replacement with one taken as reference at replacement 1, 2, 4, 8..., so a stretch
// that repeats is found within twice its length once it repeats.
class EndlessWatch {
public:
    explicit EndlessWatch(size_t nameSize) : reach_(nameSize - 1) {}

    // Moved: units went onto the result from the top of pieces pending pieces.
    void Moved(size_t pieces, size_t units) { consumed_ += pieces == kept_ ? units : 0; }
    // Popped: the top piece is used up; pieces are left.
    void Popped(size_t pieces) { kept_ = std::min(kept_, pieces); }
    // Cut: result is about to be cut back to its first to units.
    void Cut(const std::wstring& result, size_t to) {
        for (; low_ > to && armed_; --low_) {
            lost_ += result[low_ - 1];
        }
    }
    // Repeats answers, after a replacement, whether the stretch since the reference repeats
    // for ever; then takes this replacement as the reference when its turn has come.
    bool Repeats(const std::wstring& result, const std::vector<std::wstring_view>& pending) {
        const bool repeats = armed_ && ResultRepeats(result) && PendingRepeats(pending);
        if (++replacements_ == nextReference_) {
            nextReference_ *= 2;
            armed_ = true;
            referenceLength_ = low_ = result.size();
            lost_.clear();
            reference_ = pending;
            kept_ = pending.size();
            consumed_ = 0;
        }
        return repeats;
    }

private:
    // The result ends in the units the stretch looked at, with nothing below them that the
    // next stretch could look at differently.
    bool ResultRepeats(const std::wstring& result) const {
        const size_t lookedFrom = low_ >= reach_ ? low_ - reach_ : 0;
        const size_t looked = referenceLength_ - lookedFrom;
        if (result.size() < referenceLength_ || (low_ < reach_ && result.size() != looked)) {
            return false;
        }
        // The units above the lowest point, as lost, then those below it, still in place.
        const size_t top = result.size() - 1;
        for (size_t i = 0; i < lost_.size(); ++i) {
            if (result[top - i] != lost_[i]) {
                return false;
            }
        }
        return result.compare(result.size() - looked, low_ - lookedFrom, result, lookedFrom,
                              low_ - lookedFrom) == 0;
    }

    // What is to move is new pieces, then the reference's pieces less the units consumed;
    // the new pieces start with those units.
    bool PendingRepeats(const std::vector<std::wstring_view>& pending) const {
        size_t fresh = 0;
        for (size_t i = kept_; i < pending.size(); ++i) {
            fresh += pending[i].size();
        }
        return fresh >= consumed_ && SameStart(pending, reference_, consumed_);
    }

    // SameStart answers whether the first count units of two piece stacks, read from the top
    // piece down, are the same.
    static bool SameStart(const std::vector<std::wstring_view>& a,
                          const std::vector<std::wstring_view>& b, size_t count) {
        size_t ia = a.size(), ib = b.size(), offsetA = 0, offsetB = 0;
        while (count > 0) {
            for (; offsetA == a[ia - 1].size(); offsetA = 0) {
                --ia;
            }
            for (; offsetB == b[ib - 1].size(); offsetB = 0) {
                --ib;
            }
            const size_t step =
                std::min({count, a[ia - 1].size() - offsetA, b[ib - 1].size() - offsetB});
            if (a[ia - 1].substr(offsetA, step) != b[ib - 1].substr(offsetB, step)) {
                return false;
            }
            offsetA += step;
            offsetB += step;
            count -= step;
        }
        return true;
    }

    const size_t reach_;
    size_t replacements_ = 0;
    size_t nextReference_ = 1;
    bool armed_ = false;
    size_t referenceLength_ = 0; // the result's length at the reference
    size_t low_ = 0;             // the lowest length since, the reference's units above it lost
    std::wstring lost_;          // those units, the last first
    std::vector<std::wstring_view> reference_; // what was to move at the reference
    size_t kept_ = 0;     // of those pieces, how many are still there, the top one cut
    size_t consumed_ = 0; // units moved from them
};

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
    EndlessWatch watch(name.size());
    while (!pending.empty()) {
        std::wstring_view& top = pending.back();
        const size_t end = FirstEnd(result, top, name, seam);
        const size_t moved = std::min(end, top.size());
        result.append(top.substr(0, moved));
        top.remove_prefix(moved);
        watch.Moved(pending.size(), moved);
        if (top.empty()) {
            pending.pop_back(); // a value ending in an occurrence leaves no empty pieces
            watch.Popped(pending.size());
        }
        if (end != kNone) {
            watch.Cut(result, result.size() - name.size());
            result.resize(result.size() - name.size());
            length = GrownLength(length, name, value, longest);
            pending.push_back(value);
            if (watch.Repeats(result, pending)) {
                throw std::length_error("a directory variable's value forms its name without end");
            }
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
