#include "Standin.h"

#include "Holders.h"

namespace KaTest {

namespace {

constexpr wchar_t kStopEventName[] = L"com.trelm.ka.kacd.stop";

KaTekCmd::Command_t StandinCommand(const std::vector<std::wstring>& args) {
    std::vector<KaTekStr::String_t> arguments;
    for (const std::wstring& arg : args) {
        arguments.emplace_back(arg);
    }
    return KaTekCmd::Command_t(KaTekStr::String_t(ProgramDir() + L"kacd-standin.exe"), arguments);
}

} // namespace

std::wstring ProgramDir() {
    wchar_t self[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring path(self, length);
    return path.substr(0, path.rfind(L'\\') + 1);
}

int RunStandin(const std::vector<std::wstring>& args, uint32_t timeoutMs) {
    KaTekCmd::Command_t command = StandinCommand(args);
    command.Start();
    if (!command.Wait(timeoutMs)) {
        return -1;
    }
    return static_cast<int>(command.GetExitCode());
}

StandinService::StandinService(const std::vector<std::wstring>& installArgs) {
    RunStandin({L"remove"});
    std::vector<std::wstring> args = {L"install"};
    args.insert(args.end(), installArgs.begin(), installArgs.end());
    installed_ = RunStandin(args) == 0;
}

StandinService::~StandinService() {
    RunStandin({L"remove"});
}

bool StandinService::Control(const std::wstring& command) const {
    return RunStandin({command}) == 0;
}

StandinProcess::StandinProcess(const std::vector<std::wstring>& args)
    : command_(StandinCommand(args)) {
    command_.Start();
    for (int waited = 0; waited < 100 && !ready_; ++waited) {
        bool ended = command_.Wait(100);
        ready_ = command_.GetOutput().Find(KaTekStr::String_t("ready")) != KaTekStr::String_t::npos;
        if (ended) {
            break;
        }
    }
}

StandinProcess::~StandinProcess() {
    KaHold::unique_handle stop(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kStopEventName));
    if (stop) {
        ::SetEvent(stop.get());
    }
    command_.Wait(10000);
}

} // namespace KaTest
