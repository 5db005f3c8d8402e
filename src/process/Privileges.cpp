// The debug privilege of the process, and whether the caller acts as an administrator.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"

#include "Holders.h"
#include "process/TokenGroups.h"

namespace KaCtrl {

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 64;

// The token the calling thread acts with: its impersonation token, or, when it does not
// impersonate, the process token. Empty on failure. The thread token is opened as the process
// (OpenAsSelf): a thread impersonating a client at identification level may not open its
// token as that client, yet reading its groups is what it asks.
KaHold::unique_handle OpenEffectiveToken() {
    KaHold::unique_handle token;
    if (::OpenThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, token.put())) {
        return token;
    }
    if (::GetLastError() != ERROR_NO_TOKEN) {
        // For instance an anonymous impersonation: this thread is nobody in particular.
        return token;
    }
    ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put());
    return token;
}

// The token's group list in a buffer of its own; empty on failure.
KaHold::unique_local ReadTokenGroups(HANDLE token) {
    DWORD size = 0;
    if (::GetTokenInformation(token, TokenGroups, nullptr, 0, &size)) {
        return {};
    }
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return {};
    }
    KaHold::unique_local groups(::LocalAlloc(LMEM_FIXED, size));
    if (groups && !::GetTokenInformation(token, TokenGroups, groups.get(), size, &size)) {
        groups.reset();
    }
    return groups;
}

KaHold::unique_sid MakeAdministratorsSid() {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    KaHold::unique_sid administrators;
    ::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                               DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, administrators.put());
    return administrators;
}

} // namespace

int SetDebugPrivilege() {
    KaHold::unique_handle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                            token.put())) {
        return kFailure;
    }
    TOKEN_PRIVILEGES debug{};
    debug.PrivilegeCount = 1;
    debug.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (!::LookupPrivilegeValueA(nullptr, "SeDebugPrivilege", &debug.Privileges[0].Luid)) {
        return kFailure;
    }
    BOOL adjusted =
        ::AdjustTokenPrivileges(token.get(), FALSE, &debug, sizeof(debug), nullptr, nullptr);
    // A token that does not hold the privilege still reports success, with
    // ERROR_NOT_ALL_ASSIGNED: nothing was enabled, so that is a failure here.
    DWORD lastError = ::GetLastError();
    if (!adjusted || lastError == ERROR_NOT_ALL_ASSIGNED) {
        return kFailure;
    }
    return kSuccess;
}

bool RunningAsAdministrator() {
    KaHold::unique_handle token = OpenEffectiveToken();
    if (!token) {
        return false;
    }
    KaHold::unique_local groups = ReadTokenGroups(token.get());
    if (!groups) {
        return false;
    }
    KaHold::unique_sid administrators = MakeAdministratorsSid();
    if (!administrators) {
        return false;
    }
    return HoldsGroupEnabled(*static_cast<const TOKEN_GROUPS*>(groups.get()), administrators.get());
}

} // namespace KaCtrl
