// Whether the control daemon is there at all: its service's state, or its mutex.
#include "status/Daemon.h"

#include "Holders.h"

namespace KaCtrl {

namespace {

bool IsActiveState(DWORD state) {
    return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
           state == SERVICE_RUNNING;
}

// The service counts only when both handles open; the mutex is then asked as well.
bool ServiceCountsAsActive(bool& serviceOpened) {
    KaHold::unique_service manager(::OpenSCManagerA(nullptr, nullptr, GENERIC_READ));
    if (!manager) {
        return false;
    }
    KaHold::unique_service service(
        ::OpenServiceA(manager.get(), kDaemonServiceName, GENERIC_EXECUTE | SERVICE_QUERY_STATUS));
    if (!service) {
        return false;
    }
    serviceOpened = true;
    SERVICE_STATUS status{};
    return ::QueryServiceStatus(service.get(), &status) && IsActiveState(status.dwCurrentState);
}

bool MutexExists() {
    KaHold::unique_handle mutex(::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kDaemonMutexName));
    return static_cast<bool>(mutex);
}

} // namespace

bool IsKacdActive() {
    bool serviceOpened = false;
    bool serviceActive = ServiceCountsAsActive(serviceOpened);
    // A daemon whose service is not installed is not active, whatever holds the mutex.
    if (!serviceOpened) {
        return false;
    }
    bool mutexExists = MutexExists();
    return serviceActive || mutexExists;
}

} // namespace KaCtrl
