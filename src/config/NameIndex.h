// Internal: where the names of a table may stand in a text. All directory variables start
// with "$", so the places of that one unit are found once and each name is looked for
// there only, instead of searching the whole text once per name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace KaCtrl {

// UnitStart is a place where the indexed unit stands, with up to four units after it
// packed, so that most names are told apart there without reaching into a text too large
// to cache. Past the text's end the packed units are 0.
struct UnitStart {
    size_t at;
    uint64_t next;
};

// IndexStarts fills starts with where unit stands in text, in ascending order. It keeps the
// vector's memory, so that the index of a large text is made again without new memory.
void IndexStarts(const std::wstring& text, wchar_t unit, std::vector<UnitStart>& starts);

// FindFirstAt answers where the first occurrence of name (not empty) in text stands, looking
// only at starts, which IndexStarts made for name's first unit and this text;
// std::wstring::npos when there is none.
size_t FindFirstAt(const std::wstring& text, const std::vector<UnitStart>& starts,
                   const std::wstring& name);

// CountOccurrences answers how many occurrences of name (not empty) text holds that do not
// overlap, counted from the left, looking only at starts as FindFirstAt does.
size_t CountOccurrences(const std::wstring& text, const std::vector<UnitStart>& starts,
                        const std::wstring& name);

} // namespace KaCtrl
