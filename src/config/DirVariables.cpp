// Directory variables: "$KaBinDir", "$LogDir" and the other names by which configured
// texts and command lines refer to the agent's directories, and "$KA_SUDO" for the
// configured sudo command text. The directories are asked for on every call, so a changed
// installation or configuration shows in the next one.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"

#include "AgentNames.h"

#include "config/NameReplacement.h"
#include "text/FileNameForms.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace KaCtrl {

namespace {

using KaAgent::DirVariable;
using KaAgent::kDirVariables;

// Names in ascending order, as the replacement walks them.
using DirTable = std::map<String_t, String_t>;

std::vector<const DirVariable*> SortByLookup() {
    std::vector<const DirVariable*> rows;
    for (const DirVariable& row : kDirVariables) {
        rows.push_back(&row);
    }
    std::sort(rows.begin(), rows.end(),
              [](const DirVariable* a, const DirVariable* b) { return a->lookup < b->lookup; });
    return rows;
}

// A sudo text of two double quotes is a quoted empty text: configured, yet no command.
bool IsSudoCommand(const String_t& sudo) {
    return sudo.IsNotEmpty() && sudo != "\"\"";
}

DirTable BuildTable(const String_t& sudo) {
    DirTable table;
    for (const DirVariable* row : SortByLookup()) {
        String_t sub = row->sub != nullptr ? String_t(row->sub) : String_t::Null();
        table[String_t(row->name)] = Dir_t::Path(row->key, sub);
    }
    if (IsSudoCommand(sudo)) {
        table[String_t(KaAgent::kSudoVariable)] = sudo;
    }
    return table;
}

// Texts append their own separator after a variable ("$KaLogDir\kacd.log"), so a value
// ending in one would give two.
void CutOneTrailingSeparator(String_t& value) {
    if (value.Right(1) == String_t(File_t::SeparatorChar())) {
        value.Delete(value.GetLength() - 1, value.GetLength());
    }
}

// ReplaceTableNames answers whether text holds any of the table's names; result then holds the text
// with them replaced.
bool ReplaceTableNames(const String_t& text, DirTable& table, std::wstring& result) {
    std::vector<NameAndValue> names;
    for (auto& entry : table) {
        CutOneTrailingSeparator(entry.second);
        names.push_back({entry.first.Std(), entry.second.Std()});
    }
    ReplacementBudget budget = MakeBudget(text.Std(), names);
    return ReplaceInTurn(text.Std(), names, budget, result);
}

} // namespace

String_t ReplaceDirVariables(String_t text) {
    DirTable table = BuildTable(GetKaSudo());
    // A replaced text is the call's own, so its slashes are turned where it lies.
    std::wstring result;
    return ReplaceTableNames(text, table, result) ? UnitsToURI(std::move(result))
                                                  : FileNameToURI(text, false);
}

} // namespace KaCtrl
