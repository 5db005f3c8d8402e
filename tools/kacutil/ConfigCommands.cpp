// conf, dirs, resolve and bool: the installation's directories and small configuration
// answers.
#include "Kacutil.h"

#include "AgentNames.h"

#include <algorithm>

namespace Kacutil {

namespace {

// Every variable ReplaceDirVariables knows, in ascending order as the library walks them.
std::vector<std::string> ListVariableNames() {
    std::vector<std::string> names{KaAgent::kSudoVariable};
    for (const KaAgent::DirVariable& variable : KaAgent::kDirVariables) {
        names.emplace_back(variable.name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Wide enough for the longest name, "$KaInstrumentationDir".
std::string PadName(const std::string& name) {
    const size_t width = 23;
    return name.size() < width ? name + std::string(width - name.size(), ' ') : name + " ";
}

// One line of conf or dirs: its label, its JSON key and its value (null when it has none).
struct Row {
    std::string label;
    std::string key;
    Json value;
};

// Shows rows as padded lines (a value of null as absent) or as one JSON object.
void ShowRows(const std::vector<Row>& rows, bool json, const char* absent) {
    if (json) {
        Json document = Json::object();
        for (const Row& row : rows) {
            document[row.key] = row.value;
        }
        PrintJson(document);
        return;
    }
    for (const Row& row : rows) {
        Print(PadName(row.label) + (row.value.is_null() ? absent : row.value.get<std::string>()));
    }
}

int RunConf(const Args& given) {
    auto [args, json] = DataRequest(given);
    ExpectCount(args, 0);
    std::vector<Row> rows = {
        {"configuration", "configuration", Utf8(KaCtrl::GetConfDir())},
        {"temporary", "temporary", Utf8(KaCtrl::GetTmpDir())},
        {"sudo (ctrl.sudo)", "sudo", NullIfEmpty(Utf8(KaCtrl::GetKaSudo()))},
    };
    // Last, because a missing core identifier throws: the others are shown all the same.
    try {
        rows.push_back({"core id (sec.core)", "coreId", Utf8(KaCtrl::GetKaCoreID())});
    } catch (const KaTekMsg::Exception_t&) {
        if (json) {
            rows.push_back({"core id (sec.core)", "coreId", nullptr});
        }
        ShowRows(rows, json, "");
        throw;
    }
    ShowRows(rows, json, "");
    return kExitOk;
}

int RunDirs(const Args& given) {
    auto [args, json] = DataRequest(given);
    ExpectCount(args, 0);
    std::vector<Row> rows;
    for (const std::string& name : ListVariableNames()) {
        String_t value = KaCtrl::ReplaceDirVariables(String_t(name.c_str()));
        // A variable the library left alone has no value ("$KA_SUDO" without a sudo text).
        rows.push_back({name, CamelCase(name), value == name.c_str() ? Json() : Json(Utf8(value))});
    }
    ShowRows(rows, json, "(not set)");
    return kExitOk;
}

int RunResolve(const Args& given) {
    auto [args, json] = DataRequest(given);
    ExpectCount(args, 1);
    std::string resolved = Utf8(KaCtrl::ReplaceDirVariables(String_t(args[0])));
    ShowAnswer(resolved, {{"resolved", resolved}}, json);
    return kExitOk;
}

int RunBool(const Args& given) {
    auto [args, json] = DataRequest(given);
    ExpectCount(args, 1);
    bool value = KaCtrl::GetBooleanFromString(String_t(args[0]));
    ShowAnswer(value ? "true" : "false", {{"boolean", value}}, json);
    return value ? kExitOk : kExitNo;
}

} // namespace

std::vector<Command> ConfigCommands() {
    return {
        {"conf", "[--json]", "configuration and temporary directories, sudo text, core identifier",
         "Prints GetConfDir, GetTmpDir, GetKaSudo (\"KA_SUDO\" of ctrl.sudo) and GetKaCoreID\n"
         "(\"CORE_ID\" of sec.core), one per line. --json writes {\"configuration\",\n"
         "\"temporary\", \"sudo\", \"coreId\"}, null for a text that is not set.\n"
         "exit codes: 0 printed; 1 the core identifier is missing (the catalog message\n"
         "is printed after the other three lines); 2 usage.\n",
         RunConf},
        {"dirs", "[--json]", "every directory variable with its value",
         "Prints each of the 36 directory variables and $KA_SUDO with the value\n"
         "ReplaceDirVariables gives it (slashes for backslashes, no trailing separator).\n"
         "--json writes one key per variable, named in camelCase (\"$LogDir\" as \"logDir\",\n"
         "\"$KA_SUDO\" as \"kaSudo\"), null for a variable that is not set.\n"
         "exit codes: 0 printed; 1 a directory lookup failed; 2 usage.\n",
         RunDirs},
        {"resolve", "TEXT [--json]",
         "TEXT with its directory variables replaced (ReplaceDirVariables)",
         "Quote TEXT so that the shell leaves its \"$\" alone: kacutil resolve '$LogDir\\x.txt'\n"
         "--json writes {\"resolved\": TEXT resolved}.\n"
         "exit codes: 0 printed; 1 a directory lookup failed; 2 usage.\n",
         RunResolve},
        {"bool", "TEXT [--json]", "the boolean TEXT stands for (GetBooleanFromString)",
         "Prints true or false; \"true\" and \"false\" are taken in any letter case.\n"
         "--json writes {\"boolean\": true or false}.\n"
         "exit codes: 0 true; 3 false; 1 TEXT is no boolean; 2 usage.\n",
         RunBool},
    };
}

} // namespace Kacutil
