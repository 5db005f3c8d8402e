// env and dedup: the environment the agent gives its child commands.
#include "Kacutil.h"

#include "AgentNames.h"

namespace Kacutil {

namespace {

enum class Extend { None, Prepend, Append };

struct EnvRequest {
    Extend extend = Extend::None;
    bool json = false;
    std::vector<String_t> program; // the program, then its arguments
};

EnvRequest ParseEnvArgs(const Args& args) {
    EnvRequest request;
    size_t i = 0;
    for (; i < args.size() && args[i].rfind(L"--", 0) == 0; ++i) {
        if (args[i] == L"--") {
            ++i;
            break;
        }
        if (args[i] == L"--json") {
            request.json = true;
            continue;
        }
        Extend extend = args[i] == L"--append"    ? Extend::Append
                        : args[i] == L"--prepend" ? Extend::Prepend
                                                  : Extend::None;
        if (extend == Extend::None) {
            throw UsageError("unknown option " + Quoted(args[i]));
        }
        if (request.extend != Extend::None && request.extend != extend) {
            throw UsageError("--prepend and --append exclude each other");
        }
        request.extend = extend;
    }
    for (; i < args.size(); ++i) {
        request.program.emplace_back(args[i]);
    }
    if (request.program.empty()) {
        throw UsageError("no program given");
    }
    return request;
}

// The variables a namespace names, as the command now holds them (null for one it does not
// hold); the library sets variables without telling which, so the namespace is read here.
Json ListVariables(const char* space, const KaTekCmd::Command_t& command, bool skipPath) {
    KaTekConfig::Configuration_t attributes = KaTekConfig::ConfigNamespace_t(space).Open();
    Json variables = Json::object();
    for (int index = 0; index < attributes.GetAttrCount(); ++index) {
        String_t name;
        String_t value;
        // PATH is never extended, so naming it would only mislead.
        if (!attributes.GetAttr(index, name, value) || (skipPath && name == "PATH")) {
            continue;
        }
        String_t held = command.GetEnv(name);
        variables[Utf8(name)] = held.IsNull() ? Json() : Json(Utf8(held));
    }
    return variables;
}

void PrintVariables(const char* space, const Json& variables) {
    for (const auto& [name, value] : variables.items()) {
        Print(std::string(space) + ": " + name + "=" +
              (value.is_null() ? "" : value.get<std::string>()));
    }
}

// What was set, as lines or as one JSON object: each namespace's variables, the last value
// AppendEnvVariable set (null without --prepend or --append) and the program with its arguments.
void ShowSettings(const std::vector<std::pair<const char*, Json>>& spaces, const Json& last,
                  const std::vector<String_t>& program, bool json) {
    Json running = Json::array();
    for (const String_t& word : program) {
        running.push_back(Utf8(word));
    }
    if (json) {
        Json document = Json::object();
        for (const auto& [space, variables] : spaces) {
            document[CamelCase(space)] = variables;
        }
        document["lastValueSet"] = last;
        document["running"] = running;
        PrintJson(document);
        return;
    }
    for (const auto& [space, variables] : spaces) {
        PrintVariables(space, variables);
    }
    if (!last.is_null()) {
        Print("last value set: " + last.get<std::string>());
    }
    std::string line = "running:";
    for (const Json& word : running) {
        line += " " + word.get<std::string>();
    }
    Print(line);
}

int RunEnv(const Args& args) {
    EnvRequest request = ParseEnvArgs(args);
    std::vector<String_t> arguments(request.program.begin() + 1, request.program.end());
    KaTekCmd::Command_t command(request.program.front(), arguments);
    KaCtrl::SetEnvPath(command);
    std::vector<std::pair<const char*, Json>> spaces = {
        {KaAgent::kEnvNamespace, ListVariables(KaAgent::kEnvNamespace, command, false)}};
    Json last;
    if (request.extend != Extend::None) {
        bool append = request.extend == Extend::Append;
        last = Utf8(KaCtrl::AppendEnvVariable(append, command));
        const char* space = append ? KaAgent::kAppendNamespace : KaAgent::kPrependNamespace;
        spaces.emplace_back(space, ListVariables(space, command, true));
    }
    ShowSettings(spaces, last, request.program, request.json);
    command.Start();
    command.Wait(INFINITE);
    // The child's bytes as it wrote them; under --json on standard error, so that standard
    // output holds the one document.
    PrintBytes(command.GetOutputBytes(), request.json);
    return static_cast<int>(command.GetExitCode());
}

int RunDedup(const Args& given) {
    auto [args, json] = DataRequest(given);
    ExpectCount(args, 1);
    std::string list = Utf8(KaCtrl::AvoidDuplicate(String_t(args[0])));
    ShowAnswer(list, {{"list", list}}, json);
    return kExitOk;
}

} // namespace

std::vector<Command> EnvCommands() {
    return {
        {"env", "[--prepend | --append] [--json] [--] PROGRAM [ARGS]",
         "run PROGRAM with the configured environment and show what was set",
         "Gives PROGRAM the variables of ctrl.env (SetEnvPath) and, with --prepend or\n"
         "--append, the texts of ctrl.env.prepend or ctrl.env.append put before or after\n"
         "them, each value cleaned of repeated entries (AppendEnvVariable). Prints every\n"
         "variable those namespaces name as PROGRAM gets it, then runs PROGRAM, waits for\n"
         "it and passes on its output (standard output and error together) as the bytes\n"
         "PROGRAM wrote. --json writes what was set as one object instead: \"ctrlEnv\" and\n"
         "\"ctrlEnvAppend\" or \"ctrlEnvPrepend\" (each variable's value), \"lastValueSet\"\n"
         "and \"running\" (PROGRAM and ARGS); PROGRAM's output then goes to standard\n"
         "error, so that standard output holds the object alone.\n"
         "Example: kacutil env --append -- cmd /c echo %PATH%\n"
         "exit codes: the exit code of PROGRAM; 1 PROGRAM cannot be started or the\n"
         "configuration cannot be read; 2 usage.\n",
         RunEnv},
        {"dedup", "LIST [--json]", "the \";\" list with each entry once (AvoidDuplicate)",
         "Entries are trimmed, backslashes made slashes, and compared without letter case;\n"
         "the first occurrence stays, in its place. Quote LIST for the shell.\n"
         "--json writes {\"list\": the list}.\n"
         "exit codes: 0 printed; 2 usage.\n",
         RunDedup},
    };
}

} // namespace Kacutil
