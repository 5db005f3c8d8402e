// Internal: a child's environment as a sorted list of variables and as the block
// CreateProcessW takes. No platform call: the order of names is the platform's, so the
// caller passes it in.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace KaTekCmd {

using Variable = std::pair<std::wstring, std::wstring>; // name, value

// NameOrder answers below, at or above 0 as left sorts before, with or after right.
using NameOrder = int (*)(const std::wstring& left, const std::wstring& right);

// SplitEntry answers the name and value of one "name=value" entry. Per-drive entries
// ("=C:=C:\dir") begin with '=', so the name ends at the first '=' after the first unit; an
// entry without one is a name with the empty value.
Variable SplitEntry(const std::wstring& entry);

// SetVariable sets name to value in environment, which stays sorted by order. A name that
// order finds there already (in other letter case, say) keeps its first form.
void SetVariable(std::vector<Variable>& environment, NameOrder order, const std::wstring& name,
                 const std::wstring& value);

// FindVariable answers the variable called name in the sorted environment, or null.
const Variable* FindVariable(const std::vector<Variable>& environment, NameOrder order,
                             const std::wstring& name);

// ParseBlock answers the variables of a block of NUL-ended entries that an empty entry
// ends, sorted by order, each name once (a later entry sets the value); none for null.
std::vector<Variable> ParseBlock(const wchar_t* block, NameOrder order);

// BuildBlock answers the block of environment: each "name=value" NUL-ended, then the empty
// entry that ends a block; an empty environment is two NULs.
std::wstring BuildBlock(const std::vector<Variable>& environment);

// EntryFault answers why name=value cannot be one entry of a block, or null when it can: an
// empty name, a name holding '=' or NUL (an '=' moves the border between name and value, a
// NUL ends the entry and starts another), a value holding NUL.
const char* EntryFault(const std::wstring& name, const std::wstring& value);

// ShownName answers name as an error message can show it: each NUL, which would end the
// message's text, written "\0".
std::wstring ShownName(const std::wstring& name);

} // namespace KaTekCmd
