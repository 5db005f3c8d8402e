// KaTek runtime: child commands.
#include "KaTek/Cmd.h"
#include "KaTek/Env.h"
#include "KaTek/Msg.h"

#include "CommandLine.h"
#include "EnvironmentBlock.h"
#include "Holders.h"

#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace KaTekCmd {

namespace {

// Short enough that output is read promptly, long enough not to spin.
constexpr DWORD kPollMs = 10;

[[noreturn]] void Fail(const String_t& program, const char* reason) {
    KaTekMsg::ThrowRuntime(KaTekMsg::MSG_COMMAND, {program, String_t(reason)});
}

[[noreturn]] void FailWithError(const String_t& program, DWORD error) {
    KaTekMsg::ThrowRuntime(KaTekMsg::MSG_COMMAND, {program, KaTekMsg::SystemErrorText(error)});
}

std::vector<Variable> CaptureEnvironment() {
    KaHold::unique_environment_strings block(::GetEnvironmentStringsW());
    return ParseBlock(block.get(), KaTekEnv::CompareEnvNames);
}

std::wstring BuildCommandLine(const String_t& program, const std::vector<String_t>& arguments) {
    if (program.IsEmpty() || program.Std().find(L'"') != std::wstring::npos) {
        Fail(program, "not a program name");
    }
    std::vector<std::wstring> units;
    for (const String_t& argument : arguments) {
        units.push_back(argument.Std());
    }
    return KaCommon::QuoteCommandLine(program.Std(), units);
}

struct CommandState {
    String_t program;
    std::vector<String_t> arguments;
    std::vector<Variable> environment; // sorted as BuildBlock needs
    KaHold::unique_handle process;
    KaHold::unique_handle outputRead;
    std::string output; // raw bytes, in the child's ANSI code page
    DWORD processId = 0;
    DWORD exitCode = STILL_ACTIVE;
    bool started = false;
    bool ended = false;
};

struct OutputPipe {
    KaHold::unique_handle read;
    KaHold::unique_handle write; // inheritable, for the child's output and error
};

OutputPipe CreateOutputPipe(const String_t& program) {
    OutputPipe pipe;
    if (!::CreatePipe(pipe.read.put(), pipe.write.put(), nullptr, 0)) {
        FailWithError(program, ::GetLastError());
    }
    if (!::SetHandleInformation(pipe.write.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
        FailWithError(program, ::GetLastError());
    }
    return pipe;
}

// The child reads from the null device rather than from whatever input the parent has.
KaHold::unique_handle OpenNullInput(const String_t& program) {
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    KaHold::unique_handle input(::CreateFileW(L"NUL", GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!input) {
        FailWithError(program, ::GetLastError());
    }
    return input;
}

// Limits what the child inherits to the given handles, so that a command started at the
// same moment on another thread cannot inherit this one's pipe and keep it open. The list
// refers to handles and lives in buffer, both of which must outlive CreateProcessW.
void InitHandleList(const String_t& program, HANDLE (&handles)[2],
                    std::vector<unsigned char>& buffer, KaHold::unique_attribute_list& list) {
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    buffer.assign(size, 0);
    auto raw = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(buffer.data());
    if (!::InitializeProcThreadAttributeList(raw, 1, 0, &size)) {
        FailWithError(program, ::GetLastError());
    }
    list.reset(raw);
    if (!::UpdateProcThreadAttribute(raw, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                     sizeof(handles), nullptr, nullptr)) {
        FailWithError(program, ::GetLastError());
    }
}

void LaunchChild(CommandState& state, HANDLE output, HANDLE input) {
    HANDLE inherited[2] = {output, input};
    std::vector<unsigned char> buffer; // made first, so it outlives the list it holds
    KaHold::unique_attribute_list list;
    InitHandleList(state.program, inherited, buffer, list);

    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof(startup);
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input;
    startup.StartupInfo.hStdOutput = output;
    startup.StartupInfo.hStdError = output;
    startup.lpAttributeList = list.get();

    std::wstring commandLine = BuildCommandLine(state.program, state.arguments);
    std::wstring block = BuildBlock(state.environment);
    PROCESS_INFORMATION created{};
    const DWORD flags =
        CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT | CREATE_NO_WINDOW;
    if (!::CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, flags, &block[0],
                          nullptr, &startup.StartupInfo, &created)) {
        FailWithError(state.program, ::GetLastError());
    }
    KaHold::unique_handle thread(created.hThread);
    state.process.reset(created.hProcess);
    state.processId = created.dwProcessId;
}

// Reads whatever the pipe holds now, without blocking: a child that fills the pipe would
// otherwise stall and never end.
void DrainOutput(CommandState& state) {
    char buffer[4096];
    for (;;) {
        DWORD available = 0;
        if (!::PeekNamedPipe(state.outputRead.get(), nullptr, 0, nullptr, &available, nullptr) ||
            available == 0) {
            return;
        }
        DWORD got = 0;
        const DWORD wanted = std::min<DWORD>(available, sizeof(buffer));
        if (!::ReadFile(state.outputRead.get(), buffer, wanted, &got, nullptr) || got == 0) {
            return;
        }
        state.output.append(buffer, got);
    }
}

void RecordExit(CommandState& state) {
    DrainOutput(state); // what the child wrote just before it ended
    if (!::GetExitCodeProcess(state.process.get(), &state.exitCode)) {
        FailWithError(state.program, ::GetLastError());
    }
    state.ended = true;
    state.outputRead.reset();
}

DWORD RemainingMs(ULONGLONG startTick, uint32_t timeoutMs) {
    if (timeoutMs == INFINITE) {
        return INFINITE;
    }
    const ULONGLONG spent = ::GetTickCount64() - startTick;
    return spent >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - spent);
}

} // namespace

void CheckEnvVariable(const String_t& name, const String_t& value) {
    const char* fault = EntryFault(name.Std(), value.Std());
    if (fault != nullptr) {
        KaTekMsg::ThrowRuntime(KaTekMsg::MSG_ENV_VARIABLE,
                               {String_t(ShownName(name.Std())), String_t(fault)});
    }
}

struct Command_t::Impl : CommandState {};

namespace {

// Every operation but IsNull and GetEnv needs a command to act on.
CommandState& Require(const std::shared_ptr<CommandState>& impl) {
    if (!impl) {
        Fail(String_t::Null(), "the command is null");
    }
    return *impl;
}

} // namespace

Command_t::Command_t(const String_t& program, const std::vector<String_t>& arguments)
    : impl_(std::make_shared<Impl>()) {
    impl_->program = program;
    impl_->arguments = arguments;
    impl_->environment = CaptureEnvironment();
}

void Command_t::PutEnv(const String_t& name, const String_t& value) {
    CommandState& state = Require(impl_);
    CheckEnvVariable(name, value);
    SetVariable(state.environment, KaTekEnv::CompareEnvNames, name.Std(), value.Std());
}

String_t Command_t::GetEnv(const String_t& name) const {
    if (!impl_) {
        return String_t::Null();
    }
    const Variable* found = FindVariable(impl_->environment, KaTekEnv::CompareEnvNames, name.Std());
    return found ? String_t(found->second) : String_t::Null();
}

std::wstring Command_t::GetEnvironmentBlock() const {
    return BuildBlock(Require(impl_).environment);
}

void Command_t::Start() {
    CommandState& state = Require(impl_);
    if (state.started) {
        Fail(state.program, "the command was started already");
    }
    OutputPipe pipe = CreateOutputPipe(state.program);
    KaHold::unique_handle input = OpenNullInput(state.program);
    LaunchChild(state, pipe.write.get(), input.get());
    state.started = true;
    // Only the child may hold the write end now, so the pipe breaks when the child ends.
    pipe.write.reset();
    state.outputRead = std::move(pipe.read);
}

bool Command_t::Wait(uint32_t timeoutMs) {
    CommandState& state = Require(impl_);
    if (!state.started) {
        Fail(state.program, "the command was not started");
    }
    const ULONGLONG startTick = ::GetTickCount64();
    while (!state.ended) {
        DrainOutput(state);
        const DWORD remaining = RemainingMs(startTick, timeoutMs);
        const DWORD result =
            ::WaitForSingleObject(state.process.get(), std::min(remaining, kPollMs));
        if (result == WAIT_FAILED) {
            FailWithError(state.program, ::GetLastError());
        }
        if (result == WAIT_OBJECT_0) {
            RecordExit(state);
        } else if (remaining == 0) {
            return false;
        }
    }
    return true;
}

uint32_t Command_t::GetExitCode() const {
    return Require(impl_).exitCode;
}

uint32_t Command_t::GetProcessId() const {
    return Require(impl_).processId;
}

String_t Command_t::GetOutput() const {
    return String_t(KaTekStr::WidenAnsi(Require(impl_).output));
}

std::string Command_t::GetOutputBytes() const {
    return Require(impl_).output;
}

} // namespace KaTekCmd
