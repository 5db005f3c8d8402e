// kacutil: every exported function of KaCtrlUtils.dll at an operator's hand, for the
// agent's scripts and for people looking into an installation.
#include "Kacutil.h"

#include "Holders.h"

#include <shellapi.h>

namespace {

using namespace Kacutil;

const char kExitCodes[] =
    "exit codes:\n"
    "  0      success; for status: the daemon answers at both addresses\n"
    "  1      failure: the library threw (its catalog text is printed) or answered a failure\n"
    "  2      usage: unknown command or option, missing or extra argument, bad number\n"
    "  3      the answer is no (bool, admin)\n"
    "  61-63  status: the daemon's status code (see kacutil status --help)\n"
    "  other  env: the exit code of the program it ran\n"
    "A failure prints one line on standard error, \"kacutil COMMAND: what went wrong\".\n"
    "output:\n"
    "  A console shows every character as it is. Output redirected to a file or a pipe is\n"
    "  UTF-8 without a byte-order mark, on standard output and standard error alike.\n"
    "  --json, on every command that answers with data, writes the answer as one JSON\n"
    "  object instead; the exit codes stay the same.\n";

std::vector<Command> AllCommands() {
    std::vector<Command> all;
    for (auto family : {StatusCommands, ConfigCommands, EnvCommands, ProcessCommands, TextCommands,
                        VersionCommands}) {
        std::vector<Command> commands = family();
        all.insert(all.end(), commands.begin(), commands.end());
    }
    return all;
}

const Command* FindCommand(const std::vector<Command>& commands, const std::wstring& name) {
    for (const Command& command : commands) {
        if (name == std::wstring(command.name,
                                 command.name + std::char_traits<char>::length(command.name))) {
            return &command;
        }
    }
    return nullptr;
}

void PrintOverallHelp(const std::vector<Command>& commands) {
    Print("usage: kacutil COMMAND [ARGUMENTS]    kacutil COMMAND --help    kacutil --help");
    Print("Asks KaCtrlUtils.dll about the agent installation named by KA_INSTALL_DIR, "
          "KA_DATA_DIR and KA_CONFIG_FILE.");
    Print("commands:");
    for (const Command& command : commands) {
        std::string line = std::string("  ") + command.name;
        Print(*command.synopsis ? line + " " + command.synopsis : line);
        Print(std::string("        ") + command.summary);
    }
    PrintText(kExitCodes);
}

void PrintCommandHelp(const Command& command) {
    std::string usage = std::string("usage: kacutil ") + command.name;
    Print(*command.synopsis ? usage + " " + command.synopsis : usage);
    Print(command.summary);
    PrintText(command.details);
}

bool IsHelp(const std::wstring& arg) {
    return arg == L"--help" || arg == L"-h" || arg == L"/?";
}

int ReportFailure(const std::string& where, const std::string& what, int exitCode) {
    PrintError((where.empty() ? "kacutil" : "kacutil " + where) + ": " + what);
    return exitCode;
}

// Runs one command; every failure becomes one line on standard error and its exit code.
int RunCommand(const Command& command, const Args& args) {
    try {
        return command.run(args);
    } catch (const UsageError& error) {
        return ReportFailure(command.name,
                             std::string(error.what()) + " (kacutil " + command.name + " --help)",
                             kExitUsage);
    } catch (const Failure& error) {
        return ReportFailure(command.name, error.what(), kExitFailure);
    } catch (const KaTekMsg::Exception_t& error) {
        return ReportFailure(command.name, OneLine(error.GetMessageList()), kExitFailure);
    } catch (const std::exception& error) {
        return ReportFailure(command.name, error.what(), kExitFailure);
    }
}

Args CommandLineArguments() {
    int count = 0;
    KaHold::unique_local argv(::CommandLineToArgvW(::GetCommandLineW(), &count));
    auto* strings = static_cast<wchar_t**>(argv.get());
    Args args;
    for (int i = 1; strings != nullptr && i < count; ++i) {
        args.emplace_back(strings[i]);
    }
    return args;
}

int Dispatch(const Args& args) {
    std::vector<Command> commands = AllCommands();
    if (args.empty()) {
        return ReportFailure("", "no command given (kacutil --help)", kExitUsage);
    }
    if (IsHelp(args[0]) || args[0] == L"help") {
        const Command* command = args.size() > 1 ? FindCommand(commands, args[1]) : nullptr;
        if (command != nullptr) {
            PrintCommandHelp(*command);
        } else {
            PrintOverallHelp(commands);
        }
        return kExitOk;
    }
    const Command* command = FindCommand(commands, args[0]);
    if (command == nullptr) {
        return ReportFailure("", "unknown command " + Quoted(args[0]) + " (kacutil --help)",
                             kExitUsage);
    }
    Args rest(args.begin() + 1, args.end());
    if (!rest.empty() && IsHelp(rest[0])) {
        PrintCommandHelp(*command);
        return kExitOk;
    }
    return RunCommand(*command, rest);
}

} // namespace

int main() {
    try {
        return Dispatch(CommandLineArguments());
    } catch (const std::exception& error) {
        // Outside a command only the platform's resources can fail (memory); one line all
        // the same, never an abort.
        return ReportFailure("", error.what(), kExitFailure);
    }
}
