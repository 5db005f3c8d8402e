// stop, service, privilege, admin and signal: processes, services and the caller's rights.
#include "Kacutil.h"

#include "Holders.h"

namespace Kacutil {

namespace {

const int kDefaultStopTimeoutMs = 5000;

int ParseTimeout(const Args& args, size_t at) {
    if (at >= args.size()) {
        return kDefaultStopTimeoutMs;
    }
    if (args[at] != L"--timeout") {
        throw UsageError("unknown option " + Quoted(args[at]));
    }
    if (at + 1 >= args.size()) {
        throw UsageError("--timeout needs a value");
    }
    if (at + 2 < args.size()) {
        throw UsageError("unexpected argument " + Quoted(args[at + 2]));
    }
    // -1 is the platform's INFINITE, handed through as the library documents.
    return static_cast<int>(ParseSigned(args[at + 1], -1, 0x7FFFFFFF, "timeout"));
}

int RunStop(const Args& args) {
    if (args.size() < 2) {
        throw UsageError("PID and NAME expected");
    }
    unsigned long pid = ParseUnsigned(args[0], "process id");
    int timeout = ParseTimeout(args, 2);
    int result = KaCtrl::TerminateApp(pid, timeout, String_t(args[1]));
    if (result == 0) {
        Print("process " + std::to_string(pid) + " ended (0)");
    } else if (result == 1) {
        Print("process " + std::to_string(pid) + " terminated (1)");
    } else {
        throw Failure("process " + std::to_string(pid) + " cannot be opened or terminated (" +
                      std::to_string(result) + ")");
    }
    return kExitOk;
}

// The control codes an operator names; any other code is given as a number.
unsigned long ParseControl(const std::wstring& text) {
    const struct {
        const wchar_t* name;
        unsigned long code;
    } names[] = {{L"stop", SERVICE_CONTROL_STOP},
                 {L"pause", SERVICE_CONTROL_PAUSE},
                 {L"continue", SERVICE_CONTROL_CONTINUE}};
    for (const auto& entry : names) {
        if (text == entry.name) {
            return entry.code;
        }
    }
    return ParseUnsigned(text, "control code");
}

std::string ErrorText(DWORD code) {
    return Utf8(KaCtrl::GetLastErrorText(code));
}

int RunService(const Args& args) {
    ExpectCount(args, 2);
    unsigned long control = ParseControl(args[1]);
    std::string name = ShowForMessage(args[0]);
    std::string ansiName = AnsiText(args[0], "service name");
    KaHold::unique_service service(KaCtrl::GetServiceControlHandle(&ansiName[0]));
    if (!service) {
        DWORD error = ::GetLastError();
        throw Failure("cannot open the service " + name + ": " + ErrorText(error));
    }
    if (KaCtrl::SendServiceControlSignal(service.get(), control) != 0) {
        DWORD error = ::GetLastError();
        throw Failure("the service " + name + " refused control " + std::to_string(control) + ": " +
                      ErrorText(error));
    }
    Print("control " + std::to_string(control) + " sent to the service " + name);
    return kExitOk;
}

int RunPrivilege(const Args& args) {
    ExpectCount(args, 0);
    if (KaCtrl::SetDebugPrivilege() != 0) {
        throw Failure("SeDebugPrivilege not enabled: this process's token does not hold it, or "
                      "cannot be adjusted (64)");
    }
    Print("SeDebugPrivilege enabled (0)");
    return kExitOk;
}

int RunAdmin(const Args& given) {
    auto [args, json] = DataRequest(given);
    ExpectCount(args, 0);
    bool admin = KaCtrl::RunningAsAdministrator();
    ShowAnswer(admin ? "true" : "false", {{"administrator", admin}}, json);
    return admin ? kExitOk : kExitNo;
}

int RunSignal(const Args& given) {
    auto [args, json] = DataRequest(given);
    ExpectCount(args, 1);
    int signal = KaCtrl::GetUXSignalFromName(String_t(args[0]));
    ShowAnswer(std::to_string(signal), {{"signal", signal}}, json);
    return kExitOk;
}

} // namespace

std::vector<Command> ProcessCommands() {
    return {
        {"stop", "PID NAME [--timeout MS]",
         "stop process PID through its stop event, else forcibly (TerminateApp)",
         "Signals the event com.trelm.ka.NAME.stop, waits up to MS milliseconds (default\n"
         "5000, -1 without limit) for the process to end, then terminates it.\n"
         "exit codes: 0 ended by itself or terminated (the output says which); 1 the\n"
         "process cannot be opened or terminated; 2 usage.\n",
         RunStop},
        {"service", "NAME CODE", "send control CODE to the service NAME (SendServiceControlSignal)",
         "CODE is a number (1 stop, 2 pause, 3 continue, 128-255 the service's own) or\n"
         "one of the words stop, pause, continue. The handle carries the rights to start,\n"
         "stop, pause, continue and send the service's own codes, not to interrogate.\n"
         "The library takes NAME in the ANSI code page: a NAME it cannot carry is refused.\n"
         "exit codes: 0 accepted; 1 the service cannot be opened or refused the code\n"
         "(the system's error text is printed); 2 usage, or NAME not in the code page.\n",
         RunService},
        {"privilege", "", "enable SeDebugPrivilege in this process (SetDebugPrivilege)",
         "Shows whether the call succeeds; the privilege lasts only as long as kacutil.\n"
         "exit codes: 0 enabled; 1 not enabled (64): the token does not hold the privilege\n"
         "or cannot be adjusted; 2 usage.\n",
         RunPrivilege},
        {"admin", "[--json]",
         "whether kacutil runs with the Administrators group (RunningAsAdministrator)",
         "Prints true or false. --json writes {\"administrator\": true or false}.\n"
         "exit codes: 0 true; 3 false; 2 usage.\n",
         RunAdmin},
        {"signal", "NAME [--json]", "the signal number of NAME (GetUXSignalFromName)",
         "This platform names no signals, so every name gives 0.\n"
         "--json writes {\"signal\": the number}.\n"
         "exit codes: 0 printed; 2 usage.\n",
         RunSignal},
    };
}

} // namespace Kacutil
