// The index of where names may stand in a text.
#include "config/NameIndex.h"

#include <algorithm>

namespace KaCtrl {

namespace {

constexpr size_t kPacked = 4;

uint64_t Packed(const wchar_t* units, size_t count) {
    uint64_t packed = 0;
    for (size_t i = 0; i < count && i < kPacked; ++i) {
        packed |= static_cast<uint64_t>(units[i] & 0xFFFF) << (16 * i);
    }
    return packed;
}

// NameAt tells whether name stands at a start, mostly from the packed units alone.
class NameAt {
public:
    NameAt(const std::wstring& text, const std::wstring& name)
        : text_(text), name_(name), packedUnits_(std::min(kPacked, name.size() - 1)),
          mask_(packedUnits_ == kPacked ? ~0ull : (1ull << (16 * packedUnits_)) - 1),
          next_(Packed(name.data() + 1, packedUnits_)) {}

    bool operator()(const UnitStart& start) const {
        // The packed units match the name's zeros past the text's end too: compared in full.
        return (start.next & mask_) == next_ && text_.compare(start.at, name_.size(), name_) == 0;
    }

private:
    const std::wstring& text_;
    const std::wstring& name_;
    size_t packedUnits_;
    uint64_t mask_;
    uint64_t next_;
};

} // namespace

void IndexStarts(const std::wstring& text, wchar_t unit, std::vector<UnitStart>& starts) {
    starts.clear();
    starts.reserve(static_cast<size_t>(std::count(text.begin(), text.end(), unit)));
    for (size_t at = 0; at < text.size(); ++at) {
        if (text[at] == unit) {
            starts.push_back({at, Packed(text.data() + at + 1, text.size() - at - 1)});
        }
    }
}

size_t FindFirstAt(const std::wstring& text, const std::vector<UnitStart>& starts,
                   const std::wstring& name) {
    const auto found = std::find_if(starts.begin(), starts.end(), NameAt(text, name));
    return found == starts.end() ? std::wstring::npos : found->at;
}

size_t CountOccurrences(const std::wstring& text, const std::vector<UnitStart>& starts,
                        const std::wstring& name) {
    const NameAt nameAt(text, name);
    size_t count = 0;
    size_t notBefore = 0; // where an occurrence may begin without overlapping the last
    for (const UnitStart& start : starts) {
        if (start.at >= notBefore && nameAt(start)) {
            ++count;
            notBefore = start.at + name.size();
        }
    }
    return count;
}

} // namespace KaCtrl
