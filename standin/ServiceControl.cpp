// The commands that install, remove and drive the service through the service control
// manager. Every wait is a poll with a bound, since the manager offers no bounded wait of
// its own on a state.
#include "Service.h"

#include "CommandLine.h"
#include "Holders.h"
#include "ModulePath.h"
#include "ServiceState.h"

#include <vector>

namespace Standin {

namespace {

constexpr ULONGLONG kStateTimeoutMs = 20000; // Wine may take seconds to start a process
constexpr ULONGLONG kDeleteTimeoutMs = 10000;
constexpr DWORD kPollMs = 50;

Outcome OpenManager(KaHold::unique_service& manager) {
    manager.reset(
        ::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT | SC_MANAGER_CREATE_SERVICE));
    if (!manager) {
        return Outcome::LastError("cannot open the service control manager");
    }
    return Outcome::Success();
}

Outcome OpenKaCtrl(KaHold::unique_service& service, DWORD access) {
    KaHold::unique_service manager;
    Outcome outcome = OpenManager(manager);
    if (outcome.Ok()) {
        service.reset(::OpenServiceW(manager.get(), kServiceNameW, access));
        if (!service) {
            outcome = Outcome::LastError("cannot open the service KaCtrl");
        }
    }
    return outcome;
}

Outcome QueryState(SC_HANDLE service, SERVICE_STATUS_PROCESS& status) {
    DWORD needed = 0;
    if (!::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status),
                                sizeof(status), &needed)) {
        return Outcome::LastError("cannot query the service KaCtrl");
    }
    return Outcome::Success();
}

// Polls until the service is in target. A service that stops on the way to another state
// failed, and says why in its exit code.
Outcome WaitForState(SC_HANDLE service, DWORD target) {
    ULONGLONG deadline = ::GetTickCount64() + kStateTimeoutMs;
    SERVICE_STATUS_PROCESS status = {};
    for (;;) {
        Outcome outcome = QueryState(service, status);
        if (!outcome.Ok() || status.dwCurrentState == target) {
            return outcome;
        }
        if (status.dwCurrentState == SERVICE_STOPPED) {
            DWORD code = status.dwWin32ExitCode ? status.dwWin32ExitCode : ERROR_SERVICE_NOT_ACTIVE;
            return Outcome::Fail(code, std::string("the service stopped instead of being ") +
                                           KaService::NameServiceState(target));
        }
        if (::GetTickCount64() >= deadline) {
            return Outcome::Fail(ERROR_SERVICE_REQUEST_TIMEOUT,
                                 std::string("the service is still ") +
                                     KaService::NameServiceState(status.dwCurrentState) + ", not " +
                                     KaService::NameServiceState(target));
        }
        ::Sleep(kPollMs);
    }
}

// Whether a refused stop may still be taken later: a service still starting accepts no
// controls yet (the manager answers 1061, or 1052 while the service, as it should then,
// declares none accepted), and one that has just ended is not active any more.
bool StopMayFollow(DWORD refusal, DWORD state) {
    return refusal == ERROR_SERVICE_CANNOT_ACCEPT_CTRL || refusal == ERROR_SERVICE_NOT_ACTIVE ||
           (refusal == ERROR_INVALID_SERVICE_CONTROL && state == SERVICE_START_PENDING);
}

// Asks the service to stop, again while it cannot take the request yet (still starting),
// and polls until it has stopped.
Outcome StopAndWait(SC_HANDLE service) {
    ULONGLONG deadline = ::GetTickCount64() + kStateTimeoutMs;
    SERVICE_STATUS_PROCESS status = {};
    for (;;) {
        Outcome outcome = QueryState(service, status);
        if (!outcome.Ok() || status.dwCurrentState == SERVICE_STOPPED) {
            return outcome;
        }
        SERVICE_STATUS reported = {};
        if (status.dwCurrentState != SERVICE_STOP_PENDING &&
            !::ControlService(service, SERVICE_CONTROL_STOP, &reported)) {
            DWORD code = ::GetLastError();
            if (!StopMayFollow(code, status.dwCurrentState)) {
                return Outcome::Fail(code, "cannot stop the service KaCtrl");
            }
        }
        if (::GetTickCount64() >= deadline) {
            return Outcome::Fail(ERROR_SERVICE_REQUEST_TIMEOUT,
                                 std::string("the service is still ") +
                                     KaService::NameServiceState(status.dwCurrentState) +
                                     ", not stopped");
        }
        ::Sleep(kPollMs);
    }
}

// The manager deletes a service only once every handle to it is closed; until then it
// cannot be made again, and a probe would still find it.
Outcome WaitUntilGone(SC_HANDLE manager) {
    ULONGLONG deadline = ::GetTickCount64() + kDeleteTimeoutMs;
    for (;;) {
        KaHold::unique_service service(
            ::OpenServiceW(manager, kServiceNameW, SERVICE_QUERY_STATUS));
        if (!service && ::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
            return Outcome::Success();
        }
        if (::GetTickCount64() >= deadline) {
            return Outcome::Fail(ERROR_SERVICE_MARKED_FOR_DELETE,
                                 "the service KaCtrl is still there (a handle to it is open)");
        }
        service.reset();
        ::Sleep(kPollMs);
    }
}

// Whether a service's command line starts a stand-in, judged by its program's file name.
bool StartsStandin(const std::wstring& commandLine) {
    // The manager reads an unquoted program up to the first blank, and so do we.
    bool quoted = commandLine.compare(0, 1, L"\"") == 0;
    std::wstring program = quoted ? commandLine.substr(1, commandLine.find(L'"', 1) - 1)
                                  : commandLine.substr(0, commandLine.find(L' '));
    std::wstring name = program.substr(program.find_last_of(L"\\/") + 1);
    return ::CompareStringOrdinal(name.c_str(), -1, kProgramName, -1, TRUE) == CSTR_EQUAL;
}

// Refuses a service KaCtrl that is not a stand-in: it may be the real daemon.
Outcome CheckIsStandin(SC_HANDLE service) {
    DWORD needed = 0;
    ::QueryServiceConfigW(service, nullptr, 0, &needed);
    std::vector<BYTE> buffer(needed > 0 ? needed : 1);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    if (!::QueryServiceConfigW(service, config, needed, &needed)) {
        return Outcome::LastError("cannot read the configuration of the service KaCtrl");
    }
    std::wstring commandLine = config->lpBinaryPathName ? config->lpBinaryPathName : L"";
    if (StartsStandin(commandLine)) {
        return Outcome::Success();
    }
    return Outcome::Fail(ERROR_SERVICE_EXISTS, "the service KaCtrl runs " + Narrow(commandLine) +
                                                   ", not a stand-in; --force replaces it");
}

Outcome RemoveWith(SC_HANDLE manager, bool force) {
    KaHold::unique_service service(
        ::OpenServiceW(manager, kServiceNameW,
                       SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG | DELETE));
    if (!service) {
        if (::GetLastError() == ERROR_SERVICE_DOES_NOT_EXIST) {
            return Outcome::Success();
        }
        return Outcome::LastError("cannot open the service KaCtrl");
    }
    Outcome outcome = force ? Outcome::Success() : CheckIsStandin(service.get());
    if (outcome.Ok()) {
        outcome = StopAndWait(service.get());
    }
    if (outcome.Ok() && !::DeleteService(service.get()) &&
        ::GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) {
        outcome = Outcome::LastError("cannot delete the service KaCtrl");
    }
    service.reset();
    return outcome.Ok() ? WaitUntilGone(manager) : outcome;
}

Outcome CommandLineFor(const Options& options, std::wstring& commandLine) {
    const std::wstring program = KaCommon::ReadModulePath(nullptr);
    if (program.empty()) {
        return Outcome::LastError("cannot find this program's path");
    }
    std::vector<std::wstring> args = options.ToArguments();
    args.insert(args.begin(), L"service");
    commandLine = KaCommon::QuoteCommandLine(program, args);
    return Outcome::Success();
}

Outcome SendAndWait(DWORD control, DWORD access, DWORD target, const char* doing) {
    KaHold::unique_service service;
    Outcome outcome = OpenKaCtrl(service, access | SERVICE_QUERY_STATUS);
    SERVICE_STATUS reported = {};
    if (outcome.Ok() && !::ControlService(service.get(), control, &reported)) {
        const DWORD error = ::GetLastError();
        outcome = Outcome::Fail(error, std::string("cannot ") + doing + " the service KaCtrl");
    }
    return outcome.Ok() ? WaitForState(service.get(), target) : outcome;
}

Outcome StartAndWait() {
    KaHold::unique_service service;
    Outcome outcome = OpenKaCtrl(service, SERVICE_START | SERVICE_QUERY_STATUS);
    if (outcome.Ok() && !::StartServiceW(service.get(), 0, nullptr) &&
        ::GetLastError() != ERROR_SERVICE_ALREADY_RUNNING) {
        outcome = Outcome::LastError("cannot start the service KaCtrl");
    }
    return outcome.Ok() ? WaitForState(service.get(), SERVICE_RUNNING) : outcome;
}

Outcome StopCommand() {
    KaHold::unique_service service;
    Outcome outcome = OpenKaCtrl(service, SERVICE_STOP | SERVICE_QUERY_STATUS);
    return outcome.Ok() ? StopAndWait(service.get()) : outcome;
}

} // namespace

Outcome InstallService(const Options& options, bool force) {
    std::wstring commandLine;
    KaHold::unique_service manager;
    Outcome outcome = CommandLineFor(options, commandLine);
    if (outcome.Ok()) {
        outcome = OpenManager(manager);
    }
    if (outcome.Ok()) {
        outcome = RemoveWith(manager.get(), force);
    }
    if (!outcome.Ok()) {
        return outcome;
    }
    KaHold::unique_service service(
        ::CreateServiceW(manager.get(), kServiceNameW, L"KaCtrl (stand-in)", SERVICE_ALL_ACCESS,
                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                         commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
    if (!service) {
        return Outcome::LastError("cannot create the service KaCtrl");
    }
    return Outcome::Success();
}

Outcome RemoveService(bool force) {
    KaHold::unique_service manager;
    Outcome outcome = OpenManager(manager);
    return outcome.Ok() ? RemoveWith(manager.get(), force) : outcome;
}

Outcome DriveService(const std::wstring& command) {
    if (command == L"start") {
        return StartAndWait();
    }
    if (command == L"stop") {
        return StopCommand();
    }
    if (command == L"pause") {
        return SendAndWait(SERVICE_CONTROL_PAUSE, SERVICE_PAUSE_CONTINUE, SERVICE_PAUSED, "pause");
    }
    if (command == L"continue") {
        return SendAndWait(SERVICE_CONTROL_CONTINUE, SERVICE_PAUSE_CONTINUE, SERVICE_RUNNING,
                           "continue");
    }
    return Outcome::Fail(ERROR_INVALID_PARAMETER, "unknown command " + Narrow(command));
}

} // namespace Standin
