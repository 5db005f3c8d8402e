// The service side: the dispatcher, the control handler and the service's main function.
#include "Daemon.h"
#include "Service.h"

#include <mutex>

namespace Standin {

namespace {

// The service control manager calls back without a context of ours, so what the callbacks
// share lives here. It outlives the dispatcher: the service's thread may still be leaving
// its last report when the dispatcher returns.
struct ServiceState {
    Options options;
    KaHold::unique_handle stop; // unnamed, so a console stand-in's stop never stops the service
    SERVICE_STATUS_HANDLE handle = nullptr;
    std::mutex lock; // the handler and the service's main thread both report
    SERVICE_STATUS status = {};
};
ServiceState g_service;

constexpr DWORD kPendingHintMs = 10000;

// Reports state; the caller holds g_service.lock.
void ReportLocked(DWORD state, DWORD exitCode) {
    SERVICE_STATUS& status = g_service.status;
    bool pending = state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING;
    bool settled = state == SERVICE_RUNNING || state == SERVICE_PAUSED;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = settled ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_PAUSE_CONTINUE : 0;
    status.dwWin32ExitCode = exitCode;
    status.dwServiceSpecificExitCode = 0;
    status.dwCheckPoint = pending ? status.dwCheckPoint + 1 : 0;
    status.dwWaitHint = pending ? kPendingHintMs : 0;
    ::SetServiceStatus(g_service.handle, &status);
}

void ReportState(DWORD state, DWORD exitCode = NO_ERROR) {
    std::lock_guard<std::mutex> guard(g_service.lock);
    ReportLocked(state, exitCode);
}

// Moves to state only from one of the given states, in one step, so that a control never
// overwrites a state the service's thread has just reported (STOPPED after --seconds).
bool ChangeState(DWORD from, DWORD orFrom, DWORD state) {
    std::lock_guard<std::mutex> guard(g_service.lock);
    DWORD current = g_service.status.dwCurrentState;
    if (current != from && current != orFrom) {
        return false;
    }
    ReportLocked(state, NO_ERROR);
    return true;
}

DWORD WINAPI OnControl(DWORD control, DWORD, LPVOID, LPVOID) {
    switch (control) {
    case SERVICE_CONTROL_STOP:
        if (ChangeState(SERVICE_RUNNING, SERVICE_PAUSED, SERVICE_STOP_PENDING)) {
            ::SetEvent(g_service.stop.get());
        }
        return NO_ERROR;
    case SERVICE_CONTROL_PAUSE:
        // Pausing changes only what the manager reports: the daemon keeps its mutex and its
        // listeners while paused, and the agent tells the states apart by the report.
        ChangeState(SERVICE_RUNNING, SERVICE_RUNNING, SERVICE_PAUSED);
        return NO_ERROR;
    case SERVICE_CONTROL_CONTINUE:
        ChangeState(SERVICE_PAUSED, SERVICE_PAUSED, SERVICE_RUNNING);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        // User codes (128..255) included: the stand-in knows none.
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_service.handle = ::RegisterServiceCtrlHandlerExW(kServiceNameW, OnControl, nullptr);
    if (g_service.handle == nullptr) {
        return;
    }
    ReportState(SERVICE_START_PENDING);
    Outcome outcome;
    {
        // Everything the daemon holds is released on this thread before STOPPED goes out,
        // since the process may end as soon as the manager reads it.
        Daemon daemon(g_service.options);
        outcome = daemon.Open();
        if (outcome.Ok()) {
            ReportState(SERVICE_RUNNING);
            daemon.Serve(g_service.stop.get());
        }
    }
    ReportState(SERVICE_STOPPED, outcome.code);
}

} // namespace

Outcome RunService(const Options& options) {
    g_service.options = options;
    g_service.stop.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!g_service.stop) {
        return Outcome::LastError("cannot create the stop event");
    }
    std::wstring name = kServiceNameW; // the table wants a writable string
    SERVICE_TABLE_ENTRYW table[] = {{name.data(), ServiceMain}, {nullptr, nullptr}};
    BOOL dispatched = ::StartServiceCtrlDispatcherW(table);
    return dispatched ? Outcome::Success()
                      : Outcome::LastError("not started by the service control manager (use "
                                           "\"run\" in a console)");
}

} // namespace Standin
