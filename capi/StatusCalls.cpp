// Daemon status and local address.
#include "Calls.h"

#include "KaCtrlUtils.h"

using namespace KaCtrlC;

KaCtrlStatus KaCtrlIsKacdRunning(int32_t* running) {
    return AnswerValue(running, L"running", [] { return KaCtrl::IsKacdRunning(); });
}

KaCtrlStatus KaCtrlGetKacdStatus(int32_t* status) {
    return AnswerValue(status, L"status", [] { return KaCtrl::GetKacdStatus(); });
}

KaCtrlStatus KaCtrlCreateLocalURI(wchar_t* uri, size_t size, size_t* needed) {
    return AnswerText(uri, size, needed, [] { return KaCtrl::CreateLocalURI().GetText(); });
}
