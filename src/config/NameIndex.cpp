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

size_t FirstAt(const std::wstring& text, const std::vector<UnitStart>& starts,
               const std::wstring& name) {
    const size_t packedUnits = std::min(kPacked, name.size() - 1);
    const uint64_t mask = packedUnits == kPacked ? ~0ull : (1ull << (16 * packedUnits)) - 1;
    const uint64_t next = Packed(name.data() + 1, packedUnits);
    for (const UnitStart& start : starts) {
        // The packed units match the name's zeros past the text's end too: compared in full.
        if ((start.next & mask) == next && text.compare(start.at, name.size(), name) == 0) {
            return start.at;
        }
    }
    return std::wstring::npos;
}

} // namespace KaCtrl
