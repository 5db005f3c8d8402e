// Directories and configuration lookups.
#include "Calls.h"

#include "KaCtrlUtils.h"

using namespace KaCtrlC;

KaCtrlStatus KaCtrlGetConfDir(wchar_t* dir, size_t size, size_t* needed) {
    return AnswerText(dir, size, needed, [] { return KaCtrl::GetConfDir(); });
}

KaCtrlStatus KaCtrlGetTmpDir(wchar_t* dir, size_t size, size_t* needed) {
    return AnswerText(dir, size, needed, [] { return KaCtrl::GetTmpDir(); });
}

KaCtrlStatus KaCtrlGetKaSudo(wchar_t* sudo, size_t size, size_t* needed) {
    return AnswerText(sudo, size, needed, [] { return KaCtrl::GetKaSudo(); });
}

KaCtrlStatus KaCtrlGetKaCoreID(wchar_t* coreId, size_t size, size_t* needed) {
    return AnswerText(coreId, size, needed, [] { return KaCtrl::GetKaCoreID(); });
}

KaCtrlStatus KaCtrlGetBooleanFromString(const wchar_t* value, int32_t* result) {
    return AnswerValue(result, L"result",
                       [&] { return KaCtrl::GetBooleanFromString(TakeText(value, L"value")); });
}

KaCtrlStatus KaCtrlReplaceDirVariables(const wchar_t* text, wchar_t* result, size_t size,
                                       size_t* needed) {
    return AnswerText(result, size, needed,
                      [&] { return KaCtrl::ReplaceDirVariables(TakeText(text, L"text")); });
}
