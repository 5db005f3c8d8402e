// kacd-standin: a stand-in for the control daemon, for the tests and the demo. It behaves
// towards the agent as the daemon does: a service named KaCtrl, the mutex KaCtrlMutexObject,
// the port file and the HTTP ping on loopback; see Usage() for the commands.
#include "Daemon.h"
#include "Service.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>

namespace {

using namespace Standin;

const char kUsage[] =
    "usage: kacd-standin COMMAND [OPTIONS]\n"
    "  install [--force] [OPTIONS]   (re)create the demand-start service KaCtrl running\n"
    "                      \"service [OPTIONS]\"\n"
    "  remove [--force]    stop and delete the service (success when not installed)\n"
    "                      both refuse a service KaCtrl whose program is not kacd-standin.exe,\n"
    "                      which may be the real daemon, unless --force is given\n"
    "  start | stop | pause | continue   drive the service and wait for its new state\n"
    "  service [OPTIONS]   the entry the service control manager starts\n"
    "  run [OPTIONS]       the same daemon as a console process, until the event\n"
    "                      com.trelm.ka.kacd.stop is signalled; prints \"ready\"\n"
    "  mutex [OPTIONS]     hold only the mutex KaCtrlMutexObject until that event; prints "
    "\"ready\"\n"
    "options:\n"
    "  --port N          listen on 127.0.0.1:N and [::1]:N (0: a free port) and write it to\n"
    "                    the port file\n"
    "  --http80          also listen on port 80 of both, the default address\n"
    "  --write-port N    write N to the port file instead (no listening on it)\n"
    "  --portfile PATH   where the port file goes (4 bytes, least significant first);\n"
    "                    written only with --port or --write-port\n"
    "  --silent          accept and read requests, never answer\n"
    "  --log PATH        append \"<method> <target>\\t<User-Agent>\" per request, each field\n"
    "                    on one line (control bytes written \\xHH, backslashes doubled)\n"
    "  --no-mutex        do not create the mutex\n"
    "  --seconds N       end by itself after N seconds\n";

// The stop event of the console modes, for the console control handler.
HANDLE g_consoleStop = nullptr;

BOOL WINAPI OnConsoleControl(DWORD) {
    ::SetEvent(g_consoleStop);
    return TRUE;
}

std::vector<std::wstring> Arguments() {
    std::vector<std::wstring> args;
    int count = 0;
    KaHold::unique_local argv(::CommandLineToArgvW(::GetCommandLineW(), &count));
    auto* strings = static_cast<wchar_t**>(argv.get());
    for (int i = 0; strings != nullptr && i < count; ++i) {
        args.emplace_back(strings[i]);
    }
    return args;
}

// The named stop event, cleared: a test signals it only after our "ready", and an earlier
// run's signal, kept alive by another holder, must not end this one at once.
Outcome OpenStopEvent(KaHold::unique_handle& stop) {
    // Whoever stops the daemon signals the event (TerminateApp opens it with EVENT_MODIFY_STATE
    // alone); this process also waits on it and clears it.
    constexpr DWORD kAccess = EVENT_MODIFY_STATE | SYNCHRONIZE;
    ObjectSecurity security;
    Outcome outcome = GrantToAdministratorsAndSystem(kAccess, security);
    if (!outcome.Ok()) {
        return outcome;
    }
    stop.reset(::CreateEventExW(&security.attributes, kDaemonStopEventW, CREATE_EVENT_MANUAL_RESET,
                                kAccess));
    if (!stop) {
        return Outcome::LastError("cannot create the event ", kDaemonStopEventW);
    }
    ::ResetEvent(stop.get());
    g_consoleStop = stop.get();
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    return Outcome::Success();
}

void SayReady() {
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
}

Outcome RunConsole(const Options& options) {
    KaHold::unique_handle stop;
    Outcome outcome = OpenStopEvent(stop);
    if (!outcome.Ok()) {
        return outcome;
    }
    Daemon daemon(options);
    outcome = daemon.Open();
    if (outcome.Ok()) {
        SayReady();
        daemon.Serve(stop.get());
    }
    ::SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    return outcome;
}

Outcome RunMutex(const Options& options) {
    if (options.port != Options::kNoPort || options.http80 || options.noMutex) {
        return Outcome::Fail(ERROR_INVALID_PARAMETER,
                             "mutex takes no --port, --http80 or --no-mutex (use run)");
    }
    // A daemon without listeners: the mutex, and the port file when --write-port asks.
    return RunConsole(options);
}

// Takes "--force" out of args[2..], answering whether it was there.
bool TakeForce(std::vector<std::wstring>& args) {
    auto force = std::find(args.begin() + 2, args.end(), L"--force");
    if (force == args.end()) {
        return false;
    }
    args.erase(force);
    return true;
}

Outcome Dispatch(std::vector<std::wstring> args) {
    const std::wstring command = args[1];
    bool force = (command == L"install" || command == L"remove") && TakeForce(args);
    if (command == L"remove" || command == L"start" || command == L"stop" || command == L"pause" ||
        command == L"continue") {
        if (args.size() > 2) {
            return Outcome::Fail(ERROR_INVALID_PARAMETER, Narrow(command) + " takes no options");
        }
        return command == L"remove" ? RemoveService(force) : DriveService(command);
    }
    Options options;
    Outcome outcome = ParseOptions(args, 2, options);
    if (!outcome.Ok()) {
        return outcome;
    }
    if (command == L"install") {
        return InstallService(options, force);
    }
    if (command == L"service") {
        return RunService(options);
    }
    if (command == L"run") {
        return RunConsole(options);
    }
    if (command == L"mutex") {
        return RunMutex(options);
    }
    return Outcome::Fail(ERROR_INVALID_PARAMETER, "unknown command " + Narrow(command));
}

} // namespace

int main() {
    std::vector<std::wstring> args = Arguments();
    if (args.size() < 2 || args[1] == L"help" || args[1] == L"--help" || args[1] == L"-h") {
        std::fputs(kUsage, args.size() < 2 ? stderr : stdout);
        return args.size() < 2 ? 1 : 0;
    }
    Outcome outcome = Dispatch(args);
    return outcome.Ok() ? 0 : Report(outcome);
}
