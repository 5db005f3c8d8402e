// Stopping processes and the privilege answers: children of this program that wait for their
// stop event, or ignore it, stopped by TerminateApp; the token's answers as in the quiet.
#include "Soak.h"

#include "AgentNames.h"
#include "Holders.h"
#include "KaCtrlUtils.h"

#include <cstdio>

namespace Soak {

namespace {

using KaTekStr::String_t;

constexpr int kStopTimeoutMs = 5000;
constexpr double kSlackMs = 1500;

class ProcessChecks {
public:
    ProcessChecks(const World& world, Ledger& ledger, const Places& places)
        : world_(world), ledger_(ledger), program_(places.program),
          debug_(KaCtrl::SetDebugPrivilege()), administrator_(KaCtrl::RunningAsAdministrator()) {}

    // A child with a stop event ends by itself (0); one without is terminated at once (1).
    void Terminate(bool gentle) {
        const std::wstring name = L"soak" + std::to_wstring(++children_);
        KaTekCmd::Command_t child(
            String_t(program_),
            {String_t(L"child"), String_t(gentle ? L"gentle" : L"stubborn"), String_t(name)});
        if (!StartReady(child)) {
            return;
        }
        Call call(world_, ledger_, gentle ? "TerminateApp (gentle)" : "TerminateApp (stubborn)");
        int answer = KaCtrl::TerminateApp(child.GetProcessId(), kStopTimeoutMs, String_t(name));
        call.Finish();
        if (answer != (gentle ? 0 : 1)) {
            call.Fail("wrong answer", "answered " + std::to_string(answer));
        }
        if (call.Ms() > kSlackMs) {
            call.Fail("slow", std::to_string(static_cast<long>(call.Ms())) + " ms");
        }
        if (!child.Wait(kStopTimeoutMs)) {
            call.Fail("process left running", KaTest::Utf8(name));
            KaHold::unique_handle process(
                ::OpenProcess(PROCESS_TERMINATE, FALSE, child.GetProcessId()));
            ::TerminateProcess(process.get(), 1);
            child.Wait(kStopTimeoutMs);
        }
    }

    // No process has this identifier (identifiers are multiples of 4 far below it).
    void TerminateNobody() {
        Call call(world_, ledger_, "TerminateApp (no such process)");
        int answer = KaCtrl::TerminateApp(0xFFFFFFF0ul, 100, String_t(L"nobody"));
        call.Finish();
        if (answer != -1) {
            call.Fail("wrong answer", "answered " + std::to_string(answer));
        }
    }

    void Privileges() {
        Call debug(world_, ledger_, "SetDebugPrivilege");
        int answer = KaCtrl::SetDebugPrivilege();
        debug.Finish();
        if (answer != debug_) {
            debug.Fail("answer differs from the quiet one", std::to_string(answer));
        }
        Call admin(world_, ledger_, "RunningAsAdministrator");
        bool administrator = KaCtrl::RunningAsAdministrator();
        admin.Finish();
        if (administrator != administrator_) {
            admin.Fail("answer differs from the quiet one", administrator ? "true" : "false");
        }
    }

private:
    // Starts the child and waits for it to say it is ready; a start the platform refuses is
    // the soak's loss, not the library's.
    bool StartReady(KaTekCmd::Command_t& child) {
        try {
            child.Start();
        } catch (const std::exception& error) {
            ledger_.Refuse(std::string("start a child: ") + error.what(), ::GetLastError());
            return false;
        }
        for (int waited = 0; waited < 500; ++waited) {
            if (child.Wait(20)) {
                break;
            }
            if (child.GetOutput().Find(String_t("ready")) != String_t::npos) {
                return true;
            }
        }
        ledger_.Refuse("start a child: not ready", 0);
        return false;
    }

    const World& world_;
    Ledger& ledger_;
    std::wstring program_;
    int debug_;
    bool administrator_;
    std::atomic<unsigned long> children_{0};
};

} // namespace

Family ProcessFamily(const World& world, Ledger& ledger, const Places& places) {
    auto checks = std::make_shared<ProcessChecks>(world, ledger, places);
    return {"process", [checks](std::mt19937& rng) {
                switch (std::uniform_int_distribution<int>(0, 5)(rng)) {
                case 0:
                case 1:
                    checks->Terminate(true);
                    break;
                case 2:
                    checks->Terminate(false);
                    break;
                case 3:
                    checks->TerminateNobody();
                    break;
                default:
                    checks->Privileges();
                    break;
                }
            }};
}

// The child modes TerminateApp stops: "gentle NAME" waits for its stop event, "stubborn"
// makes none and waits for nothing.
int RunChild(const std::wstring& mode, const std::wstring& name) {
    KaHold::unique_handle stop;
    if (mode == L"gentle") {
        stop.reset(::CreateEventW(
            nullptr, TRUE, FALSE,
            (KaAgent::kStopEventPrefixW + name + KaAgent::kStopEventSuffixW).c_str()));
    }
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    ::WaitForSingleObject(stop ? stop.get() : ::GetCurrentProcess(), 60000);
    return 0;
}

} // namespace Soak
