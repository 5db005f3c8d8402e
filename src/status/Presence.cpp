// Whether the control daemon is there at all: its service's state, or its mutex.
#include "status/Daemon.h"

#include "Holders.h"

#include <string>

namespace KaCtrl {

namespace {

bool IsActiveState(DWORD state) {
    return state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING ||
           state == SERVICE_RUNNING;
}

// The daemon's service, opened with the rights the probe has always asked for. A standard
// user, or an administrator whose token UAC filtered, holds SERVICE_QUERY_STATUS on it but not
// the rights of GENERIC_EXECUTE, and the status query needs nothing more.
KaHold::unique_service OpenDaemonService(SC_HANDLE manager) {
    KaHold::unique_service service(
        ::OpenServiceA(manager, KaAgent::kServiceName, GENERIC_EXECUTE | SERVICE_QUERY_STATUS));
    if (!service && ::GetLastError() == ERROR_ACCESS_DENIED) {
        service.reset(::OpenServiceA(manager, KaAgent::kServiceName, SERVICE_QUERY_STATUS));
    }
    return service;
}

// The service counts only when both handles open; the mutex is then asked as well.
bool ServiceCountsAsActive(bool& serviceOpened) {
    KaHold::unique_service manager(::OpenSCManagerA(nullptr, nullptr, GENERIC_READ));
    if (!manager) {
        return false;
    }
    KaHold::unique_service service = OpenDaemonService(manager.get());
    if (!service) {
        return false;
    }
    serviceOpened = true;
    SERVICE_STATUS status{};
    return ::QueryServiceStatus(service.get(), &status) && IsActiveState(status.dwCurrentState);
}

// Whether a mutex of that name exists. A caller who may not open it with every right, nor
// even to wait on it, is still told by the refusal that it is there; any other failure
// (no such object, or one of another kind) counts as none.
bool MutexNamed(const char* name) {
    for (DWORD access : {static_cast<DWORD>(MUTEX_ALL_ACCESS), static_cast<DWORD>(SYNCHRONIZE)}) {
        KaHold::unique_handle mutex(::OpenMutexA(access, FALSE, name));
        if (mutex) {
            return true;
        }
        if (::GetLastError() != ERROR_ACCESS_DENIED) {
            return false;
        }
    }
    return true;
}

bool MutexExists() {
    return MutexNamed(KaAgent::kMutexName) ||
           MutexNamed((std::string(KaAgent::kGlobalNamespace) + KaAgent::kMutexName).c_str());
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
