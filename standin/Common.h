// Shared pieces of the stand-in control daemon: the names the agent looks for, and the
// way every step reports what went wrong so that main can print one line about it.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace Standin {

// The names the agent's status functions probe; they must match the real daemon's.
inline constexpr wchar_t kServiceName[] = L"KaCtrl";
// Our own program's file name: a service KaCtrl that runs it is ours to replace.
inline constexpr wchar_t kProgramName[] = L"kacd-standin.exe";
inline constexpr wchar_t kMutexName[] = L"KaCtrlMutexObject";
inline constexpr wchar_t kStopEventName[] = L"com.trelm.ka.kacd.stop";
inline constexpr char kPingPath[] = "/com.trelm.ka.ctrl.kacd/lnkrpcserver";

// The result of one step: a Win32 error code (0 for success) and what was being done.
struct Outcome {
    DWORD code = ERROR_SUCCESS;
    std::string what;

    bool Ok() const { return code == ERROR_SUCCESS; }
    static Outcome Success() { return {}; }
    static Outcome Fail(DWORD code, std::string what) { return {code, std::move(what)}; }
    // The thread's last-error code, for a call that has just failed.
    static Outcome LastError(std::string what) { return {::GetLastError(), std::move(what)}; }
};

// UTF-8 text of a wide string, for messages and the console.
std::string Narrow(const std::wstring& text);
// "<what>: <system text> (error N)", on one line.
std::string Describe(const Outcome& outcome);
// Prints Describe(outcome) to stderr with the program's name; returns the exit code 1.
int Report(const Outcome& outcome);

} // namespace Standin
