// Drives the stand-in control daemon, kacd-standin.exe, from tests: as the service
// "KaCtrl" through its own install/remove/start/pause commands, or as a plain process.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "KaTek.h"

namespace KaTest {

// The directory of the running program, ending in a backslash.
std::wstring ProgramDir();

// Runs kacd-standin.exe with args and answers its exit code (-1 when it cannot be run or
// does not end within timeoutMs).
int RunStandin(const std::vector<std::wstring>& args, uint32_t timeoutMs = 60000);

// The stand-in installed as the service "KaCtrl" for the life of the object, removed
// before (a leftover) and after.
class StandinService {
public:
    explicit StandinService(const std::vector<std::wstring>& installArgs);
    ~StandinService();
    StandinService(const StandinService&) = delete;
    StandinService& operator=(const StandinService&) = delete;

    bool Installed() const { return installed_; }
    bool Control(const std::wstring& command) const; // start, stop, pause, continue

private:
    bool installed_ = false;
};

// The stand-in as a plain process ("run ..." or "mutex"), ready when constructed and
// stopped through its stop event when destroyed.
class StandinProcess {
public:
    explicit StandinProcess(const std::vector<std::wstring>& args);
    ~StandinProcess();
    StandinProcess(const StandinProcess&) = delete;
    StandinProcess& operator=(const StandinProcess&) = delete;

    bool Ready() const { return ready_; }

private:
    KaTekCmd::Command_t command_;
    bool ready_ = false;
};

} // namespace KaTest
