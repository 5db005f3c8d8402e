// Process termination, service control and privileges.
#include "Calls.h"

#include "KaCtrlUtils.h"

using namespace KaCtrlC;

KaCtrlStatus KaCtrlTerminateApp(uint32_t pid, int32_t timeout, const wchar_t* name,
                                int32_t* result) {
    return AnswerValue(result, L"result",
                       [&] { return KaCtrl::TerminateApp(pid, timeout, TakeText(name, L"name")); });
}

KaCtrlStatus KaCtrlGetServiceControlHandle(const wchar_t* serviceName, SC_HANDLE* service) {
    return Guard([&]() -> KaCtrlStatus {
        SC_HANDLE& opened = Out(service, L"service");
        opened = nullptr;
        std::string name = TakeAnsi(serviceName, L"serviceName");
        opened = KaCtrl::GetServiceControlHandle(name.data());
        if (opened == nullptr) {
            // The code first: building the text may change the thread's last-error code.
            const DWORD error = ::GetLastError();
            return Record(KACTRL_PLATFORM_ERROR, error, KaCtrl::GetLastErrorText(error).Std());
        }
        return KACTRL_SUCCESS;
    });
}

KaCtrlStatus KaCtrlSendServiceControlSignal(SC_HANDLE service, uint32_t control, int32_t* result) {
    return AnswerValue(result, L"result",
                       [&] { return KaCtrl::SendServiceControlSignal(service, control); });
}

KaCtrlStatus KaCtrlSetDebugPrivilege(int32_t* result) {
    return AnswerValue(result, L"result", [] { return KaCtrl::SetDebugPrivilege(); });
}

KaCtrlStatus KaCtrlRunningAsAdministrator(int32_t* result) {
    return AnswerValue(result, L"result", [] { return KaCtrl::RunningAsAdministrator(); });
}

KaCtrlStatus KaCtrlGetUXSignalFromName(const wchar_t* name, int32_t* signal) {
    return AnswerValue(signal, L"signal",
                       [&] { return KaCtrl::GetUXSignalFromName(TakeText(name, L"name")); });
}
