// Control codes for the agent's services. The handle given out carries only the rights
// the control codes need, and outlives the service control manager handle it came from.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"

#include "Holders.h"

namespace KaCtrl {

SC_HANDLE GetServiceControlHandle(char* serviceName) {
    // GENERIC_READ is enough to open a service; the manager handle is released on return,
    // keeping the last-error code of a failed open for the caller.
    KaHold::unique_service manager(::OpenSCManagerA(nullptr, nullptr, GENERIC_READ));
    if (!manager) {
        return nullptr;
    }
    // GENERIC_EXECUTE carries start, stop, pause, continue and user-defined controls;
    // SERVICE_CONTROL_INTERROGATE needs SERVICE_INTERROGATE besides.
    return ::OpenServiceA(manager.get(), serviceName,
                          GENERIC_EXECUTE | SERVICE_QUERY_STATUS | SERVICE_INTERROGATE);
}

int SendServiceControlSignal(SC_HANDLE service, unsigned long control) {
    SERVICE_STATUS status{};
    return ::ControlService(service, static_cast<DWORD>(control), &status) ? 0 : 64;
}

} // namespace KaCtrl
