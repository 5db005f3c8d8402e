// KaTek runtime: a child's environment block, apart from the platform.
#include "EnvironmentBlock.h"

#include <algorithm>
#include <cwchar>

namespace KaTekCmd {

namespace {

std::vector<Variable>::const_iterator FindSlot(const std::vector<Variable>& environment,
                                               NameOrder order, const std::wstring& name) {
    return std::lower_bound(environment.begin(), environment.end(), name,
                            [order](const Variable& entry, const std::wstring& key) {
                                return order(entry.first, key) < 0;
                            });
}

} // namespace

Variable SplitEntry(const std::wstring& entry) {
    const size_t equals = entry.find(L'=', 1);
    if (equals == std::wstring::npos) {
        return Variable(entry, std::wstring());
    }
    return Variable(entry.substr(0, equals), entry.substr(equals + 1));
}

void SetVariable(std::vector<Variable>& environment, NameOrder order, const std::wstring& name,
                 const std::wstring& value) {
    const auto slot = FindSlot(environment, order, name);
    if (slot != environment.end() && order(slot->first, name) == 0) {
        environment[static_cast<size_t>(slot - environment.begin())].second = value;
    } else {
        environment.insert(slot, Variable(name, value));
    }
}

const Variable* FindVariable(const std::vector<Variable>& environment, NameOrder order,
                             const std::wstring& name) {
    const auto slot = FindSlot(environment, order, name);
    return slot != environment.end() && order(slot->first, name) == 0 ? &*slot : nullptr;
}

std::vector<Variable> ParseBlock(const wchar_t* block, NameOrder order) {
    std::vector<Variable> environment;
    for (const wchar_t* entry = block; entry && *entry; entry += std::wcslen(entry) + 1) {
        const Variable variable = SplitEntry(entry);
        SetVariable(environment, order, variable.first, variable.second);
    }
    return environment;
}

std::wstring BuildBlock(const std::vector<Variable>& environment) {
    std::wstring block;
    for (const Variable& variable : environment) {
        block += variable.first + L'=' + variable.second;
        block += L'\0';
    }
    block += L'\0';
    if (environment.empty()) {
        block += L'\0';
    }
    return block;
}

const char* EntryFault(const std::wstring& name, const std::wstring& value) {
    if (name.empty() || name.find_first_of(std::wstring(L"=\0", 2)) != std::wstring::npos) {
        return "not an environment variable name";
    }
    if (value.find(L'\0') != std::wstring::npos) {
        return "its value holds a NUL character";
    }
    return nullptr;
}

std::wstring ShownName(const std::wstring& name) {
    std::wstring shown;
    for (wchar_t unit : name) {
        shown += unit == L'\0' ? std::wstring(L"\\0") : std::wstring(1, unit);
    }
    return shown;
}

} // namespace KaTekCmd
