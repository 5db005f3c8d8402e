// Daemon status and local address against the stand-in daemon, installed as the real
// service "KaCtrl" in Wine's service control manager.
#include <gtest/gtest.h>

#include "AgentNames.h"
#include "Checks.h"
#include "Holders.h"
#include "KaCtrlUtils.h"
#include "Sandbox.h"
#include "Standin.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <tuple>

#include <sddl.h>

namespace {

// What the stand-in logs of a ping in the control tool's name, the name every ping must carry.
const std::string kRequest =
    "GET /com.trelm.ka.ctrl.kacd/lnkrpcserver\tcom.trelm.ka.ctrl.kac/1.5.0.0\n";

class DaemonStatus : public ::testing::Test {
protected:
    void SetUp() override {
        KaTest::RunStandin({L"remove"});
        sandbox_.MakeDir(L"data\\tmp");
        // A connect time-out far beyond the receive time-out tells which one ended a ping.
        sandbox_.WriteSettings("[lnk.http]\nCONNECT_TIMEOUT=20000\nRECEIVE_TIMEOUT=1000\n");
    }

    std::wstring RequestLog() const { return sandbox_.Root() + L"\\requests.log"; }

    // Install options for a stand-in that writes its port file and request log here.
    std::vector<std::wstring> With(std::vector<std::wstring> options) const {
        options.insert(options.end(),
                       {L"--portfile", sandbox_.DataDir() + L"\\tmp\\" + KaAgent::kPortFileNameW,
                        L"--log", RequestLog()});
        return options;
    }

    // Expects the request log to hold count pings, each in the control tool's name, and no more.
    void ExpectRequests(size_t count) const {
        std::string expected;
        while (count-- > 0) {
            expected += kRequest;
        }
        EXPECT_EQ(KaTest::ReadBytes(RequestLog()), expected);
    }

    KaTest::Sandbox sandbox_;
};

std::string PortBytes(uint32_t port) {
    return std::string{static_cast<char>(port & 0xFF), static_cast<char>(port >> 8 & 0xFF),
                       static_cast<char>(port >> 16 & 0xFF), static_cast<char>(port >> 24)};
}

} // namespace

// The service's state, the mutex and where the stand-in listens decide the answer; every
// request that reaches it comes in the control tool's name. Port 9 (discard) has no listener.
// A refusal answers at once and silence costs a ping the receive time-out of "lnk.http"
// (1 s), so every call ends within 5 s, where the connect time-out (20 s) or the default
// receive time-out (3 s) would take at least 6 s: a gap wide enough for a busy machine.
TEST_F(DaemonStatus, StatusFollowsTheServiceTheMutexAndWhereTheDaemonAnswers) {
    struct Case {
        std::vector<std::wstring> options, controls; // installed with options, then controlled
        int status;
        bool running;
        size_t requests; // GetKacdStatus, then IsKacdRunning
    } cases[] = {
        {{L"--http80"}, {L"start"}, 0, true, 3}, // no port file: both at the default
        {{L"--port", L"0"}, {L"start"}, 61, false, 1},
        {{L"--http80", L"--write-port", L"9"}, {L"start"}, 62, true, 2},
        {{L"--http80", L"--port", L"0", L"--silent"}, {L"start"}, 62, false, 3},
        // Paused and without the mutex: not active, so never pinged. (A stopped daemon whose
        // mutex is there is active: TheMutexCountsInAnyNamespaceWhoeverMayOpenIt.)
        {{L"--http80", L"--no-mutex"}, {L"start", L"pause"}, 63, false, 0},
    };
    for (const Case& c : cases) {
        KaTest::StandinService service(With(c.options));
        for (const std::wstring& control : c.controls) {
            ASSERT_TRUE(service.Control(control));
        }
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(KaCtrl::GetKacdStatus(), c.status) << KaTest::Utf8(c.options.back());
        const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
        EXPECT_LT(taken.count(), 5);
        EXPECT_EQ(KaCtrl::IsKacdRunning(), c.running);
        ExpectRequests(c.requests);
        std::filesystem::remove(std::filesystem::path(RequestLog()));
    }
}

// Concurrent calls share nothing: six against a silent server take about one call's time
// (two receive time-outs), not the 12 s of six calls one after another, and this thread,
// watching the process-wide client meanwhile, only ever sees the one it set. The callers
// start 150 ms apart, so that their waits overlap but their service-manager probes (a few ms
// each, tens on a busy machine) do not meet: Wine's service manager now and then fails an
// OpenService or CloseServiceHandle made at the same moment from several threads
// (ERROR_INVALID_HANDLE), which reads as 63 and leaves the service marked for deletion until
// this process ends.
TEST_F(DaemonStatus, ConcurrentCallersOverlapAndLeaveTheProcessClientAlone) {
    KaTest::StandinService service(With({L"--http80", L"--port", L"0", L"--silent"}));
    ASSERT_TRUE(service.Control(L"start"));
    const KaLnkHttp::HttpClient mine;
    KaLnkHttp::HttpClient::SetGlobalClient(mine);
    const auto start = std::chrono::steady_clock::now();
    std::vector<int> statuses(6, -1);
    std::atomic<size_t> finished{0};
    std::vector<std::thread> threads;
    for (size_t i = 0; i < statuses.size(); ++i) {
        threads.emplace_back([i, &statuses, &finished] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150 * i));
            statuses[i] = KaCtrl::GetKacdStatus();
            ++finished;
        });
    }
    size_t looks = 0, strays = 0;
    for (; finished < statuses.size(); ++looks) {
        strays += KaLnkHttp::HttpClient::GetGlobalClient() != mine;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    const std::chrono::duration<double> taken = std::chrono::steady_clock::now() - start;
    EXPECT_LT(taken.count(), 6);
    EXPECT_EQ(strays, 0u) << "of " << looks;
    EXPECT_EQ(statuses, std::vector<int>(6, 62));
    ExpectRequests(12);
    // (That a refused address reaches the caller, kacutil's status answers in
    // KacutilDaemon.StatusFamily: port 70000.)
}

// Without the service the daemon is not active, whatever holds the mutex, and its address is
// built all the same.
TEST_F(DaemonStatus, NotInstalledIsNotActiveYetHasALocalAddress) {
    KaTest::StandinProcess mutexHolder({L"mutex"});
    ASSERT_TRUE(mutexHolder.Ready());
    // A settings file that cannot be read proves "lnk.http" is never opened.
    sandbox_.WriteSettings("[lnk.http]\nnot a setting\n");
    EXPECT_EQ(KaCtrl::GetKacdStatus(), 63);
    EXPECT_FALSE(KaCtrl::IsKacdRunning());
    const std::wstring path = L"/com.trelm.ka.ctrl.kacd/lnkrpcserver",
                       cert = L"data\\config\\certs\\node.pem";
    const std::tuple<bool, std::string, std::wstring> cases[] = {
        // With a certificate or not, the port file, and the address ("": none).
        {true, PortBytes(8443), L"https://localhost:8443" + path},
        {false, std::string("\x50\x1F", 2), L"http://localhost" + path}, // too short: no port
        {false, PortBytes(8080) + "trailing", L"http://localhost:8080" + path},
        {true, PortBytes(70000), L""}, // no port: the address gives up on it quietly
    };
    for (const auto& [certificate, portBytes, expected] : cases) {
        std::filesystem::remove(std::filesystem::path(sandbox_.Root() + L"\\" + cert));
        sandbox_.WriteFile(certificate ? cert : L"elsewhere.pem", "certificate");
        sandbox_.WriteFile(L"data\\tmp\\kacd.port", portBytes);
        EXPECT_EQ(KaCtrl::CreateLocalURI().GetText().Std(), expected); // a throw fails it too
    }
}

// A daemon run as a service makes its mutex in the global namespace, and a mutex that the
// caller may open only to wait on, or not at all, is there all the same: each keeps the
// stopped daemon active, where nothing answers (62). Without one it is not active (63).
TEST_F(DaemonStatus, TheMutexCountsInAnyNamespaceWhoeverMayOpenIt) {
    KaTest::StandinService service(With({L"--http80"}));
    ASSERT_TRUE(service.Installed());
    EXPECT_EQ(KaCtrl::GetKacdStatus(), 63);
    // The namespace of the mutex, and who may open it.
    const std::pair<const wchar_t*, const wchar_t*> mutexes[] = {
        {L"", L"O:SYD:"},                 // grants this caller nothing
        {L"", L"D:(A;;0x00100000;;;WD)"}, // SYNCHRONIZE alone
        {KaAgent::kGlobalNamespaceW, L"D:(A;;GA;;;WD)"},
    };
    for (const auto& [where, access] : mutexes) {
        const std::wstring name = where + std::wstring(KaAgent::kMutexNameW);
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), nullptr, FALSE};
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
            access, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, nullptr));
        KaHold::unique_local descriptor(attributes.lpSecurityDescriptor);
        KaHold::unique_handle mutex(::CreateMutexW(&attributes, FALSE, name.c_str()));
        ASSERT_TRUE(mutex) << "error " << ::GetLastError();
        EXPECT_EQ(KaCtrl::GetKacdStatus(), 62) << KaTest::Utf8(name) << " " << KaTest::Utf8(access);
    }
}
