// Daemon status and local address against the stand-in daemon, installed as the real
// service "KaCtrl" in Wine's service control manager.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Sandbox.h"
#include "Standin.h"
#include "status/GlobalClientSwap.h"

#include <chrono>
#include <fstream>
#include <iterator>
#include <filesystem>
#include <thread>

using KaTekStr::String_t;

namespace {

constexpr char kCallerAgent[] = "com.trelm.ka.ctrl.kac/1.5.0.0";

class DaemonStatus : public ::testing::Test {
protected:
    void SetUp() override {
        KaTest::RunStandin({L"remove"});
        sandbox_.MakeDir(L"data\\tmp");
        sandbox_.WriteSettings("[lnk.http]\nCONNECT_TIMEOUT=1000\nRECEIVE_TIMEOUT=1000\n");
    }

    std::wstring PortFile() const { return sandbox_.DataDir() + L"\\tmp\\kacd.port"; }
    std::wstring RequestLog() const { return sandbox_.Root() + L"\\requests.log"; }

    // Install options for a stand-in that writes its port file and request log here.
    std::vector<std::wstring> With(std::vector<std::wstring> options) const {
        options.insert(options.end(), {L"--portfile", PortFile(), L"--log", RequestLog()});
        return options;
    }

    std::vector<std::string> Requests() const {
        std::ifstream in{std::filesystem::path(RequestLog())};
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    void WritePortBytes(const std::string& bytes) const {
        sandbox_.WriteFile(L"data\\tmp\\kacd.port", bytes);
    }

    uint32_t PublishedPort() const {
        std::ifstream in(std::filesystem::path(PortFile()), std::ios::binary);
        unsigned char bytes[4] = {};
        in.read(reinterpret_cast<char*>(bytes), 4);
        return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    }

    KaTest::Sandbox sandbox_;
};

std::string PortBytes(uint32_t port) {
    return std::string{static_cast<char>(port & 0xFF), static_cast<char>(port >> 8 & 0xFF),
                       static_cast<char>(port >> 16 & 0xFF), static_cast<char>(port >> 24)};
}

template <typename Call> double SecondsTaken(Call call) {
    auto start = std::chrono::steady_clock::now();
    call();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

TEST_F(DaemonStatus, NotInstalledIsNotActiveWhateverHoldsTheMutex) {
    KaTest::StandinProcess mutexHolder({L"mutex"});
    ASSERT_TRUE(mutexHolder.Ready());
    // A settings file that cannot be read proves "lnk.http" is never opened.
    sandbox_.WriteSettings("[lnk.http]\nnot a setting\n");
    EXPECT_EQ(KaCtrl::GetKacdStatus(), 63);
    EXPECT_FALSE(KaCtrl::IsKacdRunning());
}

TEST_F(DaemonStatus, StoppedServiceWithMutexCountsAsActive) {
    KaTest::StandinService service(With({L"--http80"}));
    ASSERT_TRUE(service.Installed());
    KaTest::StandinProcess mutexHolder({L"mutex"});
    ASSERT_TRUE(mutexHolder.Ready());
    // Active, but nothing listens: no answer at the port-file address.
    EXPECT_EQ(KaCtrl::GetKacdStatus(), 62);
}

TEST_F(DaemonStatus, PausedServiceWithoutMutexIsNotActive) {
    KaTest::StandinService service(With({L"--http80", L"--no-mutex"}));
    ASSERT_TRUE(service.Installed());
    ASSERT_TRUE(service.Control(L"start"));
    ASSERT_TRUE(service.Control(L"pause"));
    EXPECT_EQ(KaCtrl::GetKacdStatus(), 63);
    EXPECT_TRUE(Requests().empty());
    ASSERT_TRUE(service.Control(L"continue"));
    EXPECT_EQ(KaCtrl::GetKacdStatus(), 0);
}

// Where the stand-in listens decides the answer; every request that reaches it comes in the
// control tool's name. Port 9 (discard) has no listener here.
TEST_F(DaemonStatus, StatusFollowsWhereTheDaemonAnswers) {
    struct Case {
        std::vector<std::wstring> options;
        int status;
        bool running;
        size_t requests; // GetKacdStatus, then IsKacdRunning
    } cases[] = {
        {{L"--http80"}, 0, true, 3}, // no port file: both pings at the default address
        {{L"--http80", L"--write-port", L"0"}, 0, true, 3},
        {{L"--port", L"0"}, 61, false, 1},
        {{L"--http80", L"--write-port", L"9"}, 62, true, 2},
    };
    const std::string request =
        std::string("GET /com.trelm.ka.ctrl.kacd/lnkrpcserver\t") + kCallerAgent;
    for (const Case& c : cases) {
        KaTest::StandinService service(With(c.options));
        ASSERT_TRUE(service.Control(L"start"));
        EXPECT_EQ(KaCtrl::GetKacdStatus(), c.status) << KaTest::Utf8(c.options[0]);
        EXPECT_EQ(KaCtrl::IsKacdRunning(), c.running);
        EXPECT_EQ(Requests(), std::vector<std::string>(c.requests, request));
        std::filesystem::remove(std::filesystem::path(RequestLog()));
    }
}

TEST_F(DaemonStatus, LocalAddressNamesThePublishedPort) {
    KaTest::StandinService service(With({L"--port", L"0"}));
    ASSERT_TRUE(service.Control(L"start"));
    uint32_t port = PublishedPort();
    ASSERT_NE(port, 0u);
    EXPECT_EQ(KaCtrl::CreateLocalURI().GetText().Std(),
              L"http://localhost:" + std::to_wstring(port) +
                  L"/com.trelm.ka.ctrl.kacd/lnkrpcserver");
}

TEST_F(DaemonStatus, RefusedAddressReachesCallerAndClientIsRestored) {
    KaTest::StandinService service(With({L"--http80", L"--no-mutex"}));
    ASSERT_TRUE(service.Control(L"start"));
    WritePortBytes(PortBytes(70000));
    KaLnkHttp::HttpClient before = KaLnkHttp::HttpClient::GetGlobalClient();
    EXPECT_THROW(KaCtrl::GetKacdStatus(), KaTekMsg::Exception_t);
    EXPECT_TRUE(KaLnkHttp::HttpClient::GetGlobalClient() == before);
    // The local address gives up on it quietly.
    EXPECT_TRUE(KaCtrl::CreateLocalURI().IsEmpty());
}

// A ping that throws while its temporary client is the process-wide one.
TEST(GlobalClientSwap, ThrowingPingLeavesThePreviousClient) {
    KaLnkHttp::HttpClient before = KaLnkHttp::HttpClient::GetGlobalClient(), temporary;
    ASSERT_FALSE(temporary == before);
    EXPECT_THROW(
        {
            KaCtrl::GlobalClientSwap swap(temporary);
            EXPECT_TRUE(KaLnkHttp::HttpClient::GetGlobalClient() == temporary);
            KaLnkCb::PingServer(KaTekNet::URI_t());
        },
        KaTekMsg::Exception_t);
    EXPECT_TRUE(KaLnkHttp::HttpClient::GetGlobalClient() == before);
}

TEST_F(DaemonStatus, SilentServerIsBoundedByTheReceiveTimeout) {
    KaTest::StandinService service(With({L"--http80", L"--port", L"0", L"--silent"}));
    ASSERT_TRUE(service.Control(L"start"));
    int status = -1;
    double seconds = SecondsTaken([&] { status = KaCtrl::GetKacdStatus(); });
    EXPECT_EQ(status, 62);
    EXPECT_LT(seconds, 2 * 1.0 + 1.0);
}

TEST_F(DaemonStatus, NothingListeningAnswersAtOnce) {
    KaTest::StandinService service(With({L"--write-port", L"9"}));
    ASSERT_TRUE(service.Control(L"start"));
    int status = -1;
    double seconds = SecondsTaken([&] { status = KaCtrl::GetKacdStatus(); });
    EXPECT_EQ(status, 62);
    EXPECT_LT(seconds, 1.0);
}

TEST_F(DaemonStatus, ConcurrentCallersRestoreTheClientTheyFound) {
    KaTest::StandinService service(With({L"--http80", L"--port", L"0"}));
    ASSERT_TRUE(service.Control(L"start"));
    KaLnkHttp::HttpClient before = KaLnkHttp::HttpClient::GetGlobalClient();
    std::vector<int> statuses(8, -1);
    std::vector<std::thread> threads;
    for (int& status : statuses) {
        threads.emplace_back([&status] { status = KaCtrl::GetKacdStatus(); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(statuses, std::vector<int>(8, 0));
    EXPECT_TRUE(KaLnkHttp::HttpClient::GetGlobalClient() == before);
    // Every ping went out with the temporary client's name, none with the default one.
    for (const std::string& request : Requests()) {
        EXPECT_NE(request.find(kCallerAgent), std::string::npos) << request;
    }
    EXPECT_EQ(Requests().size(), 16u);
}

TEST_F(DaemonStatus, LocalAddressFollowsCertificateAndPortFile) {
    struct Case {
        bool certificate;
        std::string portBytes; // empty: no port file
        std::wstring expected;
    } cases[] = {
        {false, "", L"http://localhost/com.trelm.ka.ctrl.kacd/lnkrpcserver"},
        {true, PortBytes(0), L"https://localhost/com.trelm.ka.ctrl.kacd/lnkrpcserver"},
        {true, PortBytes(8443), L"https://localhost:8443/com.trelm.ka.ctrl.kacd/lnkrpcserver"},
        {false, std::string("\x50\x1F", 2),
         L"http://localhost/com.trelm.ka.ctrl.kacd/lnkrpcserver"},
        {false, PortBytes(8080) + "trailing",
         L"http://localhost:8080/com.trelm.ka.ctrl.kacd/lnkrpcserver"},
    };
    // The daemon is not installed: the address is built all the same.
    for (const Case& c : cases) {
        std::filesystem::remove(std::filesystem::path(PortFile()));
        std::filesystem::remove(
            std::filesystem::path(sandbox_.DataDir() + L"\\config\\certs\\node.pem"));
        if (c.certificate) {
            sandbox_.WriteFile(L"data\\config\\certs\\node.pem", "certificate");
        }
        if (!c.portBytes.empty()) {
            WritePortBytes(c.portBytes);
        }
        KaTekNet::URI_t uri;
        EXPECT_NO_THROW(uri = KaCtrl::CreateLocalURI());
        EXPECT_EQ(uri.GetText().Std(), c.expected);
    }
}
