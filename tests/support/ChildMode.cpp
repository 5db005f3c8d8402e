#include "ChildMode.h"

#include <shellapi.h>

#include <stdexcept>

namespace KaTest {

namespace {

constexpr wchar_t kChildSwitch[] = L"--ka-child";

// One argument quoted so that CommandLineToArgvW gives it back unchanged.
std::wstring QuoteArgument(const std::wstring& arg) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            quoted += c;
            continue;
        }
        if (c == L'"') {
            // Backslashes before a quote are escaped, and so is the quote.
            quoted.append(backslashes + 1, L'\\');
        }
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes, L'\\'); // doubled, so the closing quote stays a quote
    return quoted + L"\"";
}

} // namespace

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    path.resize(::GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
    return path;
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
    std::wstring commandLine = QuoteArgument(ProgramPath()) + L" " + kChildSwitch + L" " + mode;
    for (const std::wstring& arg : args) {
        commandLine += L" " + QuoteArgument(arg);
    }
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
