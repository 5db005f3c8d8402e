// Stopping a process of the agent: first politely through its stop event, then by force.
// The stop event is created by the process itself; this side only opens and signals it.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"

#include "AgentNames.h"

#include "Holders.h"

namespace KaCtrl {

namespace {

constexpr DWORD kProcessAccess = SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE;

// How long a process whose forced end was refused gets to finish an exit already under way.
constexpr DWORD kExitingGraceMs = 1000;

String_t StopEventName(const String_t& name) {
    return String_t(KaAgent::kStopEventPrefix) + name + KaAgent::kStopEventSuffix;
}

// The stop event by its name, else in the global namespace, where a process that a service
// started makes it; only a name that is not there at all is looked for again.
KaHold::unique_handle OpenStopEvent(const String_t& eventName) {
    KaHold::unique_handle stopEvent(::OpenEventW(EVENT_MODIFY_STATE, FALSE, eventName.c_str()));
    if (!stopEvent && ::GetLastError() == ERROR_FILE_NOT_FOUND) {
        const String_t globalName = String_t(KaAgent::kGlobalNamespace) + eventName;
        stopEvent.reset(::OpenEventW(EVENT_MODIFY_STATE, FALSE, globalName.c_str()));
    }
    return stopEvent;
}

// Signals the process's stop event and waits for the process to end. A process without a
// stop event cannot stop itself, so it gets no grace period.
void RequestStop(HANDLE process, int timeout, const String_t& name) {
    // The wide call gets the name exactly: a narrow copy would turn look-alike characters
    // into the ASCII name of another application. A NUL would cut the name short in the
    // same way, so such a name has no stop event.
    const String_t eventName = StopEventName(name);
    if (eventName.Std().find(L'\0') != std::wstring::npos) {
        return;
    }
    KaHold::unique_handle stopEvent = OpenStopEvent(eventName);
    if (!stopEvent) {
        return;
    }
    bool signalled = ::SetEvent(stopEvent.get()) != FALSE;
    stopEvent.reset();
    if (signalled) {
        // -1 is all bits set, INFINITE: callers use it to wait without limit. Whether the
        // wait ended or timed out, the poll below tells what became of the process.
        ::WaitForSingleObject(process, static_cast<DWORD>(timeout));
    }
}

// Answers 0 when the process has already ended, otherwise 1 or -1 as forcing it succeeds.
// Windows refuses to terminate a process that is already exiting (ERROR_ACCESS_DENIED), so a
// refusal is followed by a short wait: a process that ends within it ended by itself.
int EndProcess(HANDLE process) {
    if (::WaitForSingleObject(process, 0) == WAIT_OBJECT_0) {
        return 0;
    }
    if (::TerminateProcess(process, 0)) {
        return 1;
    }
    return ::WaitForSingleObject(process, kExitingGraceMs) == WAIT_OBJECT_0 ? 0 : -1;
}

} // namespace

int TerminateApp(unsigned long pid, int timeout, const String_t& name) {
    // The last-error test at the end must only see codes of this call's own steps, not a
    // stale 87 left by the caller's earlier work.
    ::SetLastError(ERROR_SUCCESS);
    KaHold::unique_handle process(::OpenProcess(kProcessAccess, FALSE, static_cast<DWORD>(pid)));
    if (!process) {
        return -1;
    }
    RequestStop(process.get(), timeout, name);
    int result = EndProcess(process.get());
    process.reset();
    // The agent's tools take an ERROR_INVALID_PARAMETER left by the steps above as a clean
    // stop, so it overrides the outcome of the poll.
    if (::GetLastError() == ERROR_INVALID_PARAMETER) {
        return 0;
    }
    return result;
}

} // namespace KaCtrl
