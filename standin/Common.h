// Shared pieces of the stand-in control daemon: the names the agent looks for, and the
// way every step reports what went wrong so that main can print one line about it.
#pragma once

#include "AgentNames.h"
#include "Holders.h"

#include <string>
#include <utility>

namespace Standin {

// The names the agent's status functions probe, as the real daemon makes them.
using KaAgent::kDaemonStopEventW;
using KaAgent::kMutexNameW;
using KaAgent::kPingPath;
using KaAgent::kServiceNameW;
// Our own program's file name: a service KaCtrl that runs it is ours to replace.
inline constexpr wchar_t kProgramName[] = L"kacd-standin.exe";

// The result of one step: a Win32 error code (0 for success) and what was being done.
struct Outcome {
    DWORD code = ERROR_SUCCESS;
    std::string what;

    bool Ok() const { return code == ERROR_SUCCESS; }
    static Outcome Success() { return {}; }
    static Outcome Fail(DWORD code, std::string what) { return {code, std::move(what)}; }
    // The thread's last-error code, for a call that has just failed: read before anything of
    // the message is built, since building it (a conversion, an allocation) may set another.
    static Outcome LastError(const char* what) { return {::GetLastError(), what}; }
    // As above, what followed by subject, a name or path, made UTF-8 once the code is read.
    static Outcome LastError(const char* what, const std::wstring& subject);
};

// ObjectSecurity is what a named object of the daemon is created with: a descriptor that
// grants the given rights to Administrators and SYSTEM, the accounts that stop the daemon and
// ask for it, and nothing to anyone else; the creator's own handle carries what it asked for.
struct ObjectSecurity {
    KaHold::unique_local descriptor;
    SECURITY_ATTRIBUTES attributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
};
Outcome GrantToAdministratorsAndSystem(DWORD access, ObjectSecurity& security);

// UTF-8 text of a wide string, for messages and the console.
std::string Narrow(const std::wstring& text);
// "<what>: <system text> (error N)", on one line.
std::string Describe(const Outcome& outcome);
// Prints Describe(outcome) to stderr with the program's name; returns the exit code 1.
int Report(const Outcome& outcome);

} // namespace Standin
