// config_bench: what a configuration lookup costs now that the settings file is parsed once
// per change, against the platform calls it is measured by: one metadata query of the file
// (GetFileAttributesExW) and one open and read of it. Then the calls that read the settings:
// GetKaCoreID, ReplaceDirVariables, AppendEnvVariable, an untraced trace point and
// GetKacdStatus against the stand-in daemon (its three service probes and two pings). Printed
// for the demo's settings file (about 700 bytes) and for the same with 10,000 attributes of
// another namespace. Goal: a lookup of an unchanged file within 3 times one metadata query.
#include "AgentNames.h"
#include "KaCtrlUtils.h"
#include "BestMs.h"
#include "Holders.h"
#include "Sandbox.h"
#include "Standin.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using KaBench::BestMs;

const char kDemoSettings[] = "; The sandbox agent's settings: one section per configuration "
                             "namespace.\n[ctrl.env]\n; Variables every child command of the "
                             "control daemon gets.\nKA_DEMO_LEVEL=2\nKA_DEMO_PATH=C:\\Tools;C:\\"
                             "KaAgent\\bin\n[ctrl.env.append]\n; Text put behind a variable's "
                             "value; an entry it already holds is kept once.\nKA_DEMO_PATH=c:/"
                             "tools;C:\\KaAgent\\lib\n[ctrl.sudo]\nKA_SUDO=runas /user:KaAgent\n"
                             "[sec.core]\nCORE_ID=demo-core-0001\n[lnk.http]\n; The status pings "
                             "give up quickly when nothing answers.\nCONNECT_TIMEOUT=2000\n"
                             "RECEIVE_TIMEOUT=2000\n[tek.trace]\nAREAS=lnk.http\n";

// Microseconds per call of work, the best of several runs of calls calls each.
template <typename Work> double MicrosPerCall(Work work, int calls = 200) {
    work(); // first use: the runtime's own allocations, the file in the cache
    return BestMs(
               [&] {
                   for (int call = 0; call < calls; ++call) {
                       work();
                   }
               },
               9) *
           1000 / calls;
}

// The settings written and then dated an hour back, with their folder, as a file that has
// not changed lately is.
void WriteSettled(const KaTest::Sandbox& sandbox, const std::string& text) {
    sandbox.WriteSettings(text);
    const uint64_t hourAgo = KaTest::SystemTimeAgo(3600);
    KaTest::SetFileTimes(sandbox.SettingsFile(), hourAgo, hourAgo);
    KaTest::SetFileTimes(sandbox.Root(), 0, hourAgo);
}

// The whole file read into a buffer made once: fresh memory costs more than the read here.
void OpenAndRead(const std::wstring& path) {
    static std::vector<char> bytes(1 << 20);
    KaHold::unique_handle file(::CreateFileW(path.c_str(), GENERIC_READ,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                             nullptr, OPEN_EXISTING, 0, nullptr));
    DWORD got = 0;
    ::ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
}

void Measure(const KaTest::Sandbox& sandbox, const char* what, const std::string& text) {
    WriteSettled(sandbox, text);
    const std::wstring path = sandbox.SettingsFile();
    const double query = MicrosPerCall([&path] {
        WIN32_FILE_ATTRIBUTE_DATA data;
        ::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data);
    });
    const double read = MicrosPerCall([&path] { OpenAndRead(path); });
    const double coreId = MicrosPerCall([] { KaCtrl::GetKaCoreID(); });
    const double dirvars =
        MicrosPerCall([] { KaCtrl::ReplaceDirVariables(KaTekStr::String_t("$LogDir/x")); }, 50);
    const KaTekCmd::Command_t command(KaTekStr::String_t("unused.exe"), {});
    const double append = MicrosPerCall([&command] { KaCtrl::AppendEnvVariable(true, command); });
    KaTekTrc::TraceWrapper_t untraced(KaAgent::kTraceArea, 2);
    const double point = MicrosPerCall([&untraced] { untraced.InitObject(); });
    std::printf("%s (%zu bytes):\n  metadata query %7.1f us, open and read %7.1f us\n"
                "  GetKaCoreID %7.1f us = %.2f metadata queries (goal at most 3)\n"
                "  ReplaceDirVariables(\"$LogDir/x\") %7.1f us, AppendEnvVariable %7.1f us, "
                "untraced trace point %6.1f us\n",
                what, text.size(), query, read, coreId, coreId / query, dirvars, append, point);
}

// GetKacdStatus against the stand-in installed as the service "KaCtrl" with its port file:
// nothing listens at the default address (refused at once), the port-file address answers.
void MeasureStatus(const KaTest::Sandbox& sandbox) {
    KaTest::StandinService service(
        {L"--port", L"0", L"--portfile", sandbox.DataDir() + L"\\tmp\\" + KaAgent::kPortFileNameW});
    if (!service.Installed() || !service.Control(L"start")) {
        std::printf("GetKacdStatus: the stand-in could not be started\n");
        return;
    }
    WriteSettled(sandbox, kDemoSettings);
    int status = -1;
    const double micros = MicrosPerCall([&status] { status = KaCtrl::GetKacdStatus(); }, 10);
    std::printf("GetKacdStatus (status %d): %.0f us\n", status, micros);
}

} // namespace

int main() {
    KaTest::Sandbox sandbox;
    sandbox.MakeDir(L"data\\tmp");
    Measure(sandbox, "the demo's settings file", kDemoSettings);
    std::string large = kDemoSettings + std::string("[other]\n");
    for (int key = 0; key < 10000; ++key) {
        large += "KEY_" + std::to_string(key) + "=C:\\Program Files\\Tool\\bin\n";
    }
    Measure(sandbox, "with 10,000 attributes more", large);
    MeasureStatus(sandbox);
}
