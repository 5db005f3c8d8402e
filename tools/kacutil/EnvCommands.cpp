// env and dedup: the environment the agent gives its child commands.
#include "Kacutil.h"

namespace Kacutil {

namespace {

enum class Extend { None, Prepend, Append };

struct EnvRequest {
    Extend extend = Extend::None;
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
        Extend extend = args[i] == L"--append"    ? Extend::Append
                        : args[i] == L"--prepend" ? Extend::Prepend
                                                  : Extend::None;
        if (extend == Extend::None) {
            throw UsageError("unknown option '" + Narrow(args[i]) + "'");
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

// The variables a namespace names, as the command now holds them; the library sets
// variables without telling which, so the namespace is read here to show them.
void PrintVariables(const char* space, const KaTekCmd::Command_t& command, bool skipPath) {
    KaTekConfig::Configuration_t attributes = KaTekConfig::ConfigNamespace_t(space).Open();
    for (int index = 0; index < attributes.GetAttrCount(); ++index) {
        String_t name;
        String_t value;
        // PATH is never extended, so naming it would only mislead.
        if (!attributes.GetAttr(index, name, value) || (skipPath && name == "PATH")) {
            continue;
        }
        Print(std::string(space) + ": " + Narrow(name) + "=" + Narrow(command.GetEnv(name)));
    }
}

std::string CommandLineText(const std::vector<String_t>& program) {
    std::string text;
    for (const String_t& word : program) {
        text += (text.empty() ? "" : " ") + Narrow(word);
    }
    return text;
}

int RunEnv(const Args& args) {
    EnvRequest request = ParseEnvArgs(args);
    std::vector<String_t> arguments(request.program.begin() + 1, request.program.end());
    KaTekCmd::Command_t command(request.program.front(), arguments);
    KaCtrl::SetEnvPath(command);
    PrintVariables("ctrl.env", command, false);
    if (request.extend != Extend::None) {
        bool append = request.extend == Extend::Append;
        String_t last = KaCtrl::AppendEnvVariable(append, command);
        PrintVariables(append ? "ctrl.env.append" : "ctrl.env.prepend", command, true);
        Print("last value set: " + Narrow(last));
    }
    Print("running: " + CommandLineText(request.program));
    std::fflush(stdout);
    command.Start();
    command.Wait(INFINITE);
    PrintRaw(Narrow(command.GetOutput()));
    return static_cast<int>(command.GetExitCode());
}

int RunDedup(const Args& args) {
    ExpectCount(args, 1);
    Print(KaCtrl::AvoidDuplicate(String_t(args[0])));
    return kExitOk;
}

} // namespace

std::vector<Command> EnvCommands() {
    return {
        {"env", "[--prepend | --append] [--] PROGRAM [ARGS]",
         "run PROGRAM with the configured environment and show what was set",
         "Gives PROGRAM the variables of ctrl.env (SetEnvPath) and, with --prepend or\n"
         "--append, the texts of ctrl.env.prepend or ctrl.env.append put before or after\n"
         "them, each value cleaned of repeated entries (AppendEnvVariable). Prints every\n"
         "variable those namespaces name as PROGRAM gets it, then runs PROGRAM, waits for\n"
         "it and prints its output (standard output and error together).\n"
         "Example: kacutil env --append -- cmd /c echo %PATH%\n"
         "exit codes: the exit code of PROGRAM; 1 PROGRAM cannot be started or the\n"
         "configuration cannot be read; 2 usage.\n",
         RunEnv},
        {"dedup", "LIST", "the \";\" list with each entry once (AvoidDuplicate)",
         "Entries are trimmed, backslashes made slashes, and compared without letter case;\n"
         "the first occurrence stays, in its place. Quote LIST for the shell.\n"
         "exit codes: 0 printed; 2 usage.\n",
         RunDedup},
    };
}

} // namespace Kacutil
