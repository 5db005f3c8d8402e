// The words for a service's current state, shared by the stand-in daemon's messages and
// kacutil's status table, so that both name a state the same way.
#pragma once

#include <windows.h>

#include <string>

namespace KaService {

// NameServiceState answers the word for a service's current state (SERVICE_STATUS's
// dwCurrentState): "stopped", "starting", "running" and so on; "state N" for a value the
// platform does not define.
inline std::string NameServiceState(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED:
        return "stopped";
    case SERVICE_START_PENDING:
        return "starting";
    case SERVICE_STOP_PENDING:
        return "stopping";
    case SERVICE_RUNNING:
        return "running";
    case SERVICE_CONTINUE_PENDING:
        return "continuing";
    case SERVICE_PAUSE_PENDING:
        return "pausing";
    case SERVICE_PAUSED:
        return "paused";
    default:
        return "state " + std::to_string(state);
    }
}

} // namespace KaService
