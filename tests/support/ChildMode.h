// Child modes: the running test program started again as a child process that does one
// small thing (sleep, wait for an event, report what it sees) instead of running its
// tests, so that tests work on real processes rather than mocked ones.
#pragma once

#include "Holders.h"

#include <string>
#include <vector>

namespace KaTest {

using ChildMain = int (*)(const std::vector<std::wstring>& args);

// Defined at namespace scope, a ChildMode makes the program run main (its exit code ends
// the process) instead of its tests when started as "<program> --ka-child <name> ARGS...".
// main runs while the program's static objects are still being built: it may use the
// platform and the DLLs the program links, not test-framework state.
class ChildMode {
public:
    ChildMode(const wchar_t* name, ChildMain main);
};

// A child process of the test program; terminated (exit code 1) and waited for when the
// object is destroyed while it still runs, so a failed test leaves no process behind.
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(ChildProcess&&) = default;
    ChildProcess& operator=(ChildProcess&&) = default;
    ~ChildProcess();

    // Starts this program in child mode `mode` with args, under token when one is given
    // (CreateProcessAsUserW), else as this process's user. Throws std::runtime_error when
    // the process cannot be started.
    static ChildProcess Start(const std::wstring& mode, const std::vector<std::wstring>& args,
                              HANDLE token = nullptr);

    DWORD Pid() const { return pid_; }
    HANDLE Handle() const { return process_.get(); }
    // Waits at most timeoutMs for the end; answers the exit code, or STILL_ACTIVE.
    DWORD WaitForExit(DWORD timeoutMs) const;

private:
    KaHold::unique_handle process_;
    DWORD pid_ = 0;
};

// The full path of the running program.
std::wstring ProgramPath();

} // namespace KaTest
