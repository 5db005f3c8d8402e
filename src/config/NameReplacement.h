// Internal: replacing every occurrence of one name in a text by a value, with the result
// of the plain loop "find the first occurrence, replace it, search again from the start",
// in time proportional to the text handled instead of its square.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace KaCtrl {

// kLongestText is the longest text String_t can carry: its lengths are 32-bit, and the
// largest value stands for "not found".
inline constexpr size_t kLongestText = 0xFFFFFFFEu;

// ReplaceEveryOccurrence replaces every occurrence of name in text by value, leftmost first,
// and answers whether there was one. Where a value and the text around it form the name
// again, that occurrence is replaced as well, as a search from the start would find it. A
// value that holds the name itself would be found again without end; then each occurrence
// present in text is replaced once, left to right, and no inserted value is searched again.
// A replacement that ends gives its result however long, up to longest units. Throws
// std::length_error, text unchanged, when the value keeps forming the name again with the
// text around it in a stretch of replacements that repeats without end, or when the text
// would grow beyond longest units (as an endless replacement that repeats no stretch does in
// the end). An empty name replaces nothing. spare is working memory: its content is lost,
// its capacity kept, so that a run of calls on one large text allocates no new buffer each
// time.
bool ReplaceEveryOccurrence(std::wstring& text, const std::wstring& name, const std::wstring& value,
                            std::wstring& spare, size_t longest = kLongestText);

struct NameAndValue {
    std::wstring name;
    std::wstring value;
};

// ReplaceInTurn does what ReplaceEveryOccurrence does for each name in the order given and
// answers whether any name was found. The text is searched for where the names' first
// units stand once, and again only after a name was replaced, instead of once per name.
bool ReplaceInTurn(std::wstring& text, const std::vector<NameAndValue>& names,
                   size_t longest = kLongestText);

} // namespace KaCtrl
