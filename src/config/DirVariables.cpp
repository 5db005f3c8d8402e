// Directory variables: "$KaBinDir", "$LogDir" and the other names by which configured
// texts and command lines refer to the agent's directories, and "$KA_SUDO" for the
// configured sudo command text. The directories are asked for on every call, so a changed
// installation or configuration shows in the next one.
#include "frame/Export.h"

#include "config/NameReplacement.h"
#include "text/FileNameForms.h"

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace KaCtrl {

namespace {

using namespace KaTekRuntime; // the directory keys

struct DirVariable {
    const char* name;
    int lookup; // the position in which its directory is asked for
    DirKey_e key;
    const char* sub; // below the key's directory; nullptr asks for the directory itself
};

// Configured texts in the field use these names with these meanings, so no row may change.
// The names without "Ka" are built from the installation or the data directory, the names
// with it ask the runtime for a key of their own.
const DirVariable kDirVariables[] = {
    {"$BinDir", 2, DIR_INSTALL, "bin/win64"},
    {"$ConfDir", 10, DIR_DATA, "conf"},
    {"$CurrentDir", 15, DIR_CURRENT, nullptr},
    {"$DataConfDir", 11, DIR_DATA, "conf"},
    {"$DataDir", 8, DIR_DATA, nullptr},
    {"$InstallDir", 1, DIR_INSTALL, nullptr},
    {"$JavaDir", 6, DIR_INSTALL, "java"},
    {"$KaBinDir", 21, DIR_KA_BIN, nullptr},
    {"$KaConfDir", 29, DIR_KA_CONF, nullptr},
    {"$KaCurrentDir", 34, DIR_CURRENT, nullptr},
    {"$KaDataConfDir", 30, DIR_KA_CONF, nullptr},
    {"$KaDataDir", 27, DIR_DATA, nullptr},
    {"$KaInstallDir", 20, DIR_INSTALL, nullptr},
    {"$KaInstrumentationDir", 36, DIR_INSTRUMENT, nullptr},
    {"$KaJavaDir", 25, DIR_JAVA, nullptr},
    {"$KaJreBDir", 18, DIR_NON_KA, "jre/b/bin"},
    {"$KaJreDir", 17, DIR_NON_KA, "jre/1.4/bin"},
    {"$KaLBinDir", 22, DIR_LBIN, nullptr},
    {"$KaLibDir", 23, DIR_LIB, nullptr},
    {"$KaLogDir", 32, DIR_LOG, nullptr},
    {"$KaMiscDir", 24, DIR_MISC, nullptr},
    {"$KaNonKADir", 26, DIR_NON_KA, nullptr},
    {"$KaPerlADir", 19, DIR_NON_KA, "perl/a/bin"},
    {"$KaShareDir", 31, DIR_DATA, "shared"},
    {"$KaSystemTmpDir", 35, DIR_SYSTEM_TMP, nullptr},
    {"$KaTmpDir", 28, DIR_KA_TMP, nullptr},
    {"$KaUserDir", 33, DIR_USER, nullptr},
    {"$LBinDir", 3, DIR_INSTALL, "lbin"},
    {"$LibDir", 4, DIR_INSTALL, "lib"},
    {"$LogDir", 13, DIR_DATA, "log"},
    {"$MiscDir", 5, DIR_INSTALL, "misc"},
    {"$NonKADir", 7, DIR_INSTALL, "nonKA"},
    {"$ShareDir", 12, DIR_DATA, "shared"},
    {"$SystemTmpDir", 16, DIR_SYSTEM_TMP, nullptr},
    {"$TmpDir", 9, DIR_DATA, "tmp"},
    {"$UserDir", 14, DIR_USER, nullptr},
};

const char kSudoVariable[] = "$KA_SUDO";

// Names in ascending order, as the replacement walks them.
using DirTable = std::map<String_t, String_t>;

std::vector<const DirVariable*> InLookupOrder() {
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
    for (const DirVariable* row : InLookupOrder()) {
        String_t sub = row->sub != nullptr ? String_t(row->sub) : String_t::Null();
        table[String_t(row->name)] = Dir_t::Path(row->key, sub);
    }
    if (IsSudoCommand(sudo)) {
        table[String_t(kSudoVariable)] = sudo;
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

// Replaced answers whether text holds any of the table's names; result then holds the text
// with them replaced.
bool Replaced(const String_t& text, DirTable& table, std::wstring& result) {
    std::vector<NameAndValue> names;
    for (auto& entry : table) {
        CutOneTrailingSeparator(entry.second);
        names.push_back({entry.first.Std(), entry.second.Std()});
    }
    ReplacementBudget budget = BudgetFor(text.Std(), names);
    return ReplaceInTurn(text.Std(), names, budget, result);
}

} // namespace

String_t ReplaceDirVariables(String_t text) {
    DirTable table = BuildTable(GetKaSudo());
    // A replaced text is the call's own, so its slashes are turned where it lies.
    std::wstring result;
    return Replaced(text, table, result) ? UnitsToURI(std::move(result))
                                         : FileNameToURI(text, false);
}

} // namespace KaCtrl
