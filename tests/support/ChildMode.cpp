#include "ChildMode.h"

#include "CommandLine.h"
#include "ModulePath.h"

#include <shellapi.h>

#include <stdexcept>

namespace KaTest {

constexpr wchar_t kChildSwitch[] = L"--ka-child";

std::wstring ProgramPath() {
    return KaCommon::ReadModulePath(nullptr);
}

ChildMode::ChildMode(const wchar_t* name, ChildMain main) {
    int count = 0;
    KaHold::unique_local argv(::CommandLineToArgvW(::GetCommandLineW(), &count));
    auto* args = static_cast<wchar_t**>(argv.get());
    if (args == nullptr || count < 3 || args[1] != std::wstring(kChildSwitch) ||
        args[2] != std::wstring(name)) {
        return;
    }
    ::ExitProcess(static_cast<UINT>(main({args + 3, args + count})));
}

ChildProcess ChildProcess::Start(const std::wstring& mode, const std::vector<std::wstring>& args,
                                 HANDLE token) {
    std::vector<std::wstring> childArgs = {kChildSwitch, mode};
    childArgs.insert(childArgs.end(), args.begin(), args.end());
    std::wstring commandLine = KaCommon::QuoteCommandLine(ProgramPath(), childArgs);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    // Without a token, CreateProcessAsUserW starts the child as CreateProcessW does.
    if (!::CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                nullptr, nullptr, &startup, &started)) {
        throw std::runtime_error("cannot start child mode, error " +
                                 std::to_string(::GetLastError()));
    }
    KaHold::unique_handle thread(started.hThread);
    ChildProcess child;
    child.process_.reset(started.hProcess);
    child.pid_ = started.dwProcessId;
    return child;
}

ChildProcess::~ChildProcess() {
    // Terminating a process that has ended fails, and changes nothing.
    if (process_) {
        ::TerminateProcess(process_.get(), 1);
        ::WaitForSingleObject(process_.get(), 10000);
    }
}

DWORD ChildProcess::WaitForExit(DWORD timeoutMs) const {
    DWORD exitCode = STILL_ACTIVE;
    if (::WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(process_.get(), &exitCode);
    }
    return exitCode;
}

} // namespace KaTest
