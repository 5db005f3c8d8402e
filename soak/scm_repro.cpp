// scm_repro: the service control manager alone, with none of the library's code, asked from
// several threads at once the questions the daemon's presence probe and the control-handle
// calls ask (open, query, interrogate, close), while the main thread moves the service between
// stopped, running and paused. It tells a failure of the platform from one of the library when the
// soak sees service handles that do not open or close.
//   scm_repro [SECONDS] [THREADS] [quiet] [no-interrogate | one-interrogator]
// It installs the stand-in daemon as the service "KaCtrl" for the run and removes it after;
// "quiet" leaves the service running and unchanged (and checks that it stays running),
// "no-interrogate" leaves out the interrogation, "one-interrogator" lets one thread at a
// time interrogate.
#include "AgentNames.h"
#include "Holders.h"

#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Failures by the call that failed and its error code.
class Tally {
public:
    void Count() { ++calls_; }
    void Fail(const char* call, DWORD error) {
        std::lock_guard<std::mutex> guard(lock_);
        ++failures_[std::string(call) + " error " + std::to_string(error)];
    }
    unsigned long Print() const {
        unsigned long failed = 0;
        for (const auto& [what, count] : failures_) {
            std::printf("  %-44s %lu\n", what.c_str(), count);
            failed += count;
        }
        std::printf("%lu rounds, %lu failed calls\n", calls_.load(), failed);
        return failed;
    }

private:
    std::atomic<unsigned long> calls_{0};
    std::mutex lock_;
    std::map<std::string, unsigned long> failures_;
};

enum class Interrogation { Concurrent, None, OneAtATime };

std::mutex g_interrogation;

BOOL Interrogate(SC_HANDLE service, Interrogation mode) {
    SERVICE_STATUS answer{};
    if (mode == Interrogation::OneAtATime) {
        std::lock_guard<std::mutex> guard(g_interrogation);
        return ::ControlService(service, SERVICE_CONTROL_INTERROGATE, &answer);
    }
    return ::ControlService(service, SERVICE_CONTROL_INTERROGATE, &answer);
}

// One round of what the presence probe and the control-handle call do, in their order. The
// service handles are held bare, as a caller of the control handle holds them: a failing
// close is one of the failures counted.
void AskOnce(Tally& tally, Interrogation interrogation) {
    tally.Count();
    KaHold::unique_service manager(::OpenSCManagerA(nullptr, nullptr, GENERIC_READ));
    if (!manager) {
        return tally.Fail("OpenSCManagerA", ::GetLastError());
    }
    SC_HANDLE opened = ::OpenServiceA(manager.get(), KaAgent::kServiceName,
                                      GENERIC_EXECUTE | SERVICE_QUERY_STATUS);
    if (opened == nullptr) {
        return tally.Fail("OpenServiceA (query)", ::GetLastError());
    }
    SERVICE_STATUS status{};
    if (!::QueryServiceStatus(opened, &status)) {
        tally.Fail("QueryServiceStatus", ::GetLastError());
    }
    if (!::CloseServiceHandle(opened)) {
        tally.Fail("CloseServiceHandle (service)", ::GetLastError());
    }
    SC_HANDLE control = ::OpenServiceA(manager.get(), KaAgent::kServiceName,
                                       SERVICE_START | SERVICE_STOP | SERVICE_PAUSE_CONTINUE |
                                           SERVICE_INTERROGATE | SERVICE_USER_DEFINED_CONTROL);
    if (control == nullptr) {
        return tally.Fail("OpenServiceA (control)", ::GetLastError());
    }
    // A service that is stopped, or starting, stopping or pausing, may refuse the question.
    if (interrogation != Interrogation::None && !Interrogate(control, interrogation) &&
        ::GetLastError() != ERROR_SERVICE_NOT_ACTIVE &&
        ::GetLastError() != ERROR_SERVICE_CANNOT_ACCEPT_CTRL) {
        tally.Fail("ControlService (interrogate)", ::GetLastError());
    }
    if (!::CloseServiceHandle(control)) {
        tally.Fail("CloseServiceHandle (control)", ::GetLastError());
    }
}

// The service's state, asked on a handle of its own; 0 when the query fails.
DWORD QueryState() {
    KaHold::unique_service manager(::OpenSCManagerA(nullptr, nullptr, GENERIC_READ));
    KaHold::unique_service service(
        manager ? ::OpenServiceA(manager.get(), KaAgent::kServiceName, SERVICE_QUERY_STATUS)
                : nullptr);
    SERVICE_STATUS status{};
    return service && ::QueryServiceStatus(service.get(), &status) ? status.dwCurrentState : 0;
}

// Runs the stand-in beside this program with command and answers its exit code.
DWORD RunStandin(const std::wstring& command) {
    wchar_t path[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring program(path, length);
    program = program.substr(0, program.rfind(L'\\') + 1) + L"kacd-standin.exe";
    std::wstring line = L"\"" + program + L"\" " + command;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        return ::GetLastError();
    }
    KaHold::unique_handle child(process.hProcess), thread(process.hThread);
    DWORD code = 1;
    ::WaitForSingleObject(child.get(), 60000);
    ::GetExitCodeProcess(child.get(), &code);
    return code;
}

} // namespace

int main(int argc, char** argv) {
    const unsigned long seconds = argc > 1 ? std::stoul(argv[1]) : 60;
    const unsigned long threads = argc > 2 ? std::stoul(argv[2]) : 6;
    bool quiet = false;
    Interrogation interrogation = Interrogation::Concurrent;
    for (int i = 3; i < argc; ++i) {
        const std::string option = argv[i];
        quiet = quiet || option == "quiet";
        interrogation = option == "no-interrogate"     ? Interrogation::None
                        : option == "one-interrogator" ? Interrogation::OneAtATime
                                                       : interrogation;
    }
    if (RunStandin(L"install --no-mutex") != 0 || RunStandin(L"start") != 0) {
        std::printf("cannot install and start the stand-in service\n");
        return 2;
    }
    Tally tally, chaos;
    std::atomic<bool> stop{false};
    std::vector<std::thread> askers;
    for (unsigned long i = 0; i < threads; ++i) {
        askers.emplace_back([&] {
            while (!stop) {
                AskOnce(tally, interrogation);
            }
        });
    }
    const wchar_t* cycle[] = {L"pause", L"continue", L"stop", L"start"};
    const ULONGLONG end = ::GetTickCount64() + seconds * 1000;
    for (size_t step = 0; ::GetTickCount64() < end; ++step) {
        ::Sleep(500);
        if (quiet) {
            // Left alone, the service must stay running.
            chaos.Count();
            if (DWORD state = QueryState(); state != SERVICE_RUNNING) {
                chaos.Fail("service left alone found in state", state);
            }
        } else {
            chaos.Count();
            if (DWORD code = RunStandin(cycle[step % 4]); code != 0) {
                chaos.Fail("stand-in control", code);
            }
        }
    }
    stop = true;
    for (std::thread& asker : askers) {
        asker.join();
    }
    RunStandin(L"remove");
    const char* interrogating[] = {"", ", no interrogation",
                                   ", one thread at a time interrogating"};
    std::printf("%lu threads for %lu s%s%s:\n", threads, seconds,
                quiet ? ", service left alone" : "",
                interrogating[static_cast<int>(interrogation)]);
    unsigned long failed = tally.Print();
    std::printf(quiet ? "state checks:\n" : "service controls:\n");
    chaos.Print();
    return failed == 0 ? 0 : 1;
}
