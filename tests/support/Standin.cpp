#include "Standin.h"

#include "AgentNames.h"
#include "ChildMode.h"
#include "Holders.h"

namespace KaTest {

static KaTekCmd::Command_t StandinCommand(const std::vector<std::wstring>& args) {
    std::vector<KaTekStr::String_t> arguments(args.begin(), args.end());
    return KaTekCmd::Command_t(KaTekStr::String_t(ProgramDir() + L"kacd-standin.exe"), arguments);
}

std::wstring ProgramDir() {
    const std::wstring path = ProgramPath();
    return path.substr(0, path.rfind(L'\\') + 1);
}

int RunStandin(const std::vector<std::wstring>& args, uint32_t timeoutMs) {
    KaTekCmd::Command_t command = StandinCommand(args);
    command.Start();
    return command.Wait(timeoutMs) ? static_cast<int>(command.GetExitCode()) : -1;
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
    bool ended = false;
    for (int waited = 0; waited < 100 && !ready_ && !ended; ++waited) {
        ended = command_.Wait(100);
        ready_ = command_.GetOutput().Find(KaTekStr::String_t("ready")) != KaTekStr::String_t::npos;
    }
}

StandinProcess::~StandinProcess() {
    // Without the event (a stand-in that never got ready) SetEvent fails, harmlessly.
    KaHold::unique_handle stop(::OpenEventW(EVENT_MODIFY_STATE, FALSE, KaAgent::kDaemonStopEventW));
    ::SetEvent(stop.get());
    command_.Wait(10000);
}

} // namespace KaTest
