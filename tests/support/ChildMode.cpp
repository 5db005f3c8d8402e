#include "ChildMode.h"

#include <shellapi.h>

#include <stdexcept>

namespace KaTest {

namespace {

constexpr wchar_t kChildSwitch[] = L"--ka-child";

std::vector<std::wstring> CommandLineArguments() {
    int count = 0;
    KaHold::unique_local argv(::CommandLineToArgvW(::GetCommandLineW(), &count));
    std::vector<std::wstring> args;
    auto* strings = static_cast<wchar_t**>(argv.get());
    for (int i = 0; strings != nullptr && i < count; ++i) {
        args.emplace_back(strings[i]);
    }
    return args;
}

std::wstring ProgramPath() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = ::GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
    path.resize(length);
    return path;
}

} // namespace

ChildMode::ChildMode(const wchar_t* name, ChildMain main) {
    std::vector<std::wstring> args = CommandLineArguments();
    if (args.size() < 3 || args[1] != kChildSwitch || args[2] != name) {
        return;
    }
    ::ExitProcess(static_cast<UINT>(main({args.begin() + 3, args.end()})));
}

std::wstring QuoteArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) {
        return arg;
    }
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

ChildProcess ChildProcess::Start(const std::wstring& mode, const std::vector<std::wstring>& args,
                                 HANDLE token) {
    std::wstring commandLine = QuoteArgument(ProgramPath()) + L" " + kChildSwitch + L" " + mode;
    for (const std::wstring& arg : args) {
        commandLine += L" " + QuoteArgument(arg);
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION started{};
    BOOL ok = token ? ::CreateProcessAsUserW(token, nullptr, commandLine.data(), nullptr, nullptr,
                                             FALSE, 0, nullptr, nullptr, &startup, &started)
                    : ::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0,
                                       nullptr, nullptr, &startup, &started);
    if (!ok) {
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
    if (process_ && !Ended()) {
        ::TerminateProcess(process_.get(), 1);
        ::WaitForSingleObject(process_.get(), 10000);
    }
}

bool ChildProcess::Ended() const {
    return ::WaitForSingleObject(process_.get(), 0) == WAIT_OBJECT_0;
}

DWORD ChildProcess::WaitForExit(DWORD timeoutMs) const {
    DWORD exitCode = STILL_ACTIVE;
    if (::WaitForSingleObject(process_.get(), timeoutMs) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(process_.get(), &exitCode);
    }
    return exitCode;
}

} // namespace KaTest
