// KaLnk against a real loopback HTTP server run on a thread of this program.
#include "KaLnk.h"

#include "Holders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using KaHold::unique_socket;
using KaLnkCb::PingServer;
using KaLnkHttp::HttpClient;
using Clock = std::chrono::steady_clock;

const char* const kPingPath = "/com.trelm.ka.ctrl.kacd/lnkrpcserver";

KaTekConfig::Configuration_t Settings(std::vector<std::pair<const char*, const char*>> pairs) {
    KaTekConfig::Configuration_t configuration;
    for (const auto& [key, value] : pairs) {
        configuration.SetAttrValue(key, value);
    }
    return configuration;
}

std::string Narrow(const KaTekStr::String_t& text) {
    return KaTekStr::NarrowUtf8(text.Std());
}

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// ---------------------------------------------------------------------------------------
// The loopback server.

struct WinsockSession {
    WinsockSession() {
        WSADATA data;
        ok = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockSession() {
        if (ok) {
            WSACleanup();
        }
    }
    bool ok = false;
};

enum class Mode {
    Answer200,
    Answer404,
    Answer500,
    Redirect, // 302 to another path of the same server
    Hangup,   // reads the request, closes without a word
    Silent,   // reads the request, keeps the connection open and never answers
};

// A listening socket on 127.0.0.1 at a port the system chooses; backlog as given.
unique_socket ListenOnLoopback(int backlog) {
    unique_socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    if (!listener ||
        bind(listener.get(), reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(listener.get(), backlog) != 0) {
        return unique_socket();
    }
    return listener;
}

uint16_t PortOf(SOCKET s) {
    sockaddr_in address{};
    int size = sizeof(address);
    if (getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

bool IsReadable(SOCKET s, long microseconds) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval wait{0, microseconds};
    return select(0, &readable, nullptr, nullptr, &wait) == 1;
}

// Reads up to the blank line that ends a request head, at most two seconds.
std::string ReadHead(SOCKET s) {
    std::string head;
    auto deadline = Clock::now() + std::chrono::seconds(2);
    while (head.find("\r\n\r\n") == std::string::npos && Clock::now() < deadline) {
        char buffer[1024];
        if (!IsReadable(s, 50000)) {
            continue;
        }
        int got = recv(s, buffer, sizeof(buffer), 0);
        if (got <= 0) {
            break;
        }
        head.append(buffer, static_cast<size_t>(got));
    }
    return head;
}

void SendAll(SOCKET s, const std::string& text) {
    send(s, text.data(), static_cast<int>(text.size()), 0);
}

class LoopbackServer {
public:
    explicit LoopbackServer(Mode mode) : mode_(mode), listener_(ListenOnLoopback(SOMAXCONN)) {
        port_ = listener_ ? PortOf(listener_.get()) : 0;
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoopbackServer() {
        stop_ = true;
        thread_.join();
    }
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    uint16_t Port() const { return port_; }
    KaTekNet::URI_t Uri(const char* path = kPingPath) const {
        return KaTekNet::URI_t(("http://127.0.0.1:" + std::to_string(port_) + path).c_str());
    }
    std::vector<std::string> Heads() const {
        std::lock_guard<std::mutex> guard(lock_);
        return heads_;
    }
    int PeerClosures() const { return peerClosures_; }

private:
    void Serve() {
        while (!stop_) {
            if (IsReadable(listener_.get(), 20000)) {
                Handle(unique_socket(accept(listener_.get(), nullptr, nullptr)));
            }
            WatchHeld();
        }
    }

    void Handle(unique_socket connection) {
        if (!connection) {
            return;
        }
        std::string head = ReadHead(connection.get());
        {
            std::lock_guard<std::mutex> guard(lock_);
            heads_.push_back(head);
        }
        if (mode_ == Mode::Silent) {
            held_.push_back(std::move(connection));
        } else if (mode_ != Mode::Hangup) {
            SendAll(connection.get(), Answer());
        }
    }

    std::string Answer() const {
        const char* line = mode_ == Mode::Answer200   ? "200 OK"
                           : mode_ == Mode::Answer404 ? "404 Not Found"
                           : mode_ == Mode::Answer500 ? "500 Internal Server Error"
                                                      : "302 Found";
        std::string location = "Location: http://127.0.0.1:" + std::to_string(port_) + "/moved\r\n";
        return std::string("HTTP/1.1 ") + line + "\r\n" +
               (mode_ == Mode::Redirect ? location : std::string()) +
               "Content-Length: 2\r\nConnection: close\r\n\r\nok";
    }

    // A held connection that turns readable has been closed by the client (it sends
    // nothing more after its request).
    void WatchHeld() {
        for (auto& connection : held_) {
            char byte;
            if (connection && IsReadable(connection.get(), 0) &&
                recv(connection.get(), &byte, 1, 0) <= 0) {
                connection.reset();
                ++peerClosures_;
            }
        }
    }

    WinsockSession winsock_;
    Mode mode_;
    unique_socket listener_;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> peerClosures_{0};
    mutable std::mutex lock_;
    std::vector<std::string> heads_;
    std::vector<unique_socket> held_;
    std::thread thread_;
};

// The value of a header in a request head, names compared without letter case.
std::string HeaderValue(const std::string& head, std::string name) {
    auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    std::string key = "\r\n" + lower(name) + ":";
    size_t at = lower(head).find(key);
    if (at == std::string::npos) {
        return "<absent>";
    }
    size_t start = head.find_first_not_of(' ', at + key.size());
    return head.substr(start, head.find("\r\n", start) - start);
}

// A port on 127.0.0.1 that nothing listens on: taken from the system, then let go.
uint16_t ClosedPort() {
    WinsockSession winsock;
    unique_socket probe = ListenOnLoopback(1);
    return probe ? PortOf(probe.get()) : 0;
}

// ---------------------------------------------------------------------------------------
// Tests. Each puts the process-wide client back as it found it.

class KaLnk : public ::testing::Test {
protected:
    void SetUp() override { saved_ = HttpClient::GetGlobalClient(); }
    void TearDown() override { HttpClient::SetGlobalClient(saved_); }

    // Makes a client with the given settings process-wide.
    static void UseClient(std::vector<std::pair<const char*, const char*>> pairs) {
        HttpClient::SetGlobalClient(HttpClient(Settings(std::move(pairs))));
    }
    static void UseOneSecond() {
        UseClient({{"CONNECT_TIMEOUT", "1000"}, {"RECEIVE_TIMEOUT", "1000"}});
    }

private:
    HttpClient saved_;
};

TEST_F(KaLnk, DefaultClientHasThreeSecondTimeoutsAndOwnAgent) {
    for (const HttpClient& client : {HttpClient(), HttpClient(KaTekConfig::Configuration_t())}) {
        EXPECT_EQ(client.GetConnectTimeout(), 3000u);
        EXPECT_EQ(client.GetReceiveTimeout(), 3000u);
        EXPECT_EQ(Narrow(client.GetUserAgent()), "KaLnk/1.0");
    }
}

TEST_F(KaLnk, TimeoutsInRangeAreTakenAndOthersFallBackToDefault) {
    const std::vector<std::pair<const char*, uint32_t>> cases = {
        {"1", 1},          {"60000", 60000},     {"2500", 2500},
        {" 1500\t", 1500}, {"0", 3000},          {"60001", 3000},
        {"-5", 3000},      {"+5", 3000},         {"12x", 3000},
        {"1.5", 3000},     {"", 3000},           {"   ", 3000},
        {"abc", 3000},     {"4294967297", 3000}, {"000000001000", 3000},
    };
    for (const auto& [text, expected] : cases) {
        HttpClient client(Settings({{"CONNECT_TIMEOUT", text}, {"RECEIVE_TIMEOUT", text}}));
        EXPECT_EQ(client.GetConnectTimeout(), expected) << "'" << text << "'";
        EXPECT_EQ(client.GetReceiveTimeout(), expected) << "'" << text << "'";
    }
}

TEST_F(KaLnk, ConnectAndReceiveTimeoutsAreReadSeparately) {
    HttpClient client(Settings({{"CONNECT_TIMEOUT", "1200"}, {"RECEIVE_TIMEOUT", "3400"}}));
    EXPECT_EQ(client.GetConnectTimeout(), 1200u);
    EXPECT_EQ(client.GetReceiveTimeout(), 3400u);
}

TEST_F(KaLnk, UserAgentIsNameSlashVersion) {
    EXPECT_EQ(Narrow(HttpClient(Settings({{"APP_NAME", "com.trelm.ka.ctrl.kac"},
                                          {"APP_VERSION", "1.5.0.0"}}))
                         .GetUserAgent()),
              "com.trelm.ka.ctrl.kac/1.5.0.0");
    EXPECT_EQ(Narrow(HttpClient(Settings({{"APP_NAME", "solo"}})).GetUserAgent()), "solo");
    EXPECT_EQ(Narrow(HttpClient(Settings({{"APP_VERSION", "9.9"}})).GetUserAgent()), "KaLnk/1.0");
    EXPECT_EQ(
        Narrow(HttpClient(Settings({{"APP_NAME", ""}, {"APP_VERSION", "9.9"}})).GetUserAgent()),
        "KaLnk/1.0");
}

TEST_F(KaLnk, SetGlobalClientKeepsItsOwnCopy) {
    {
        HttpClient temporary(Settings({{"RECEIVE_TIMEOUT", "4321"}, {"APP_NAME", "gone"}}));
        HttpClient::SetGlobalClient(temporary);
        EXPECT_TRUE(HttpClient::GetGlobalClient() == temporary);
    }
    HttpClient global = HttpClient::GetGlobalClient();
    EXPECT_EQ(global.GetReceiveTimeout(), 4321u);
    EXPECT_EQ(Narrow(global.GetUserAgent()), "gone");
}

// Eight threads set and read the process-wide client at once; every client read must be
// one of those set, whole (its three settings belong together), and never torn.
TEST_F(KaLnk, GlobalClientSurvivesEightThreadsAtOnce) {
    std::vector<HttpClient> clients;
    for (int i = 0; i < 8; ++i) {
        std::string ms = std::to_string(1000 + i), name = "thread" + std::to_string(i);
        clients.emplace_back(Settings({{"CONNECT_TIMEOUT", ms.c_str()},
                                       {"RECEIVE_TIMEOUT", ms.c_str()},
                                       {"APP_NAME", name.c_str()}}));
    }
    HttpClient::SetGlobalClient(clients[0]);
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i) {
        threads.emplace_back([&, i] {
            for (int round = 0; round < 3000; ++round) {
                HttpClient::SetGlobalClient(clients[i]);
                HttpClient seen = HttpClient::GetGlobalClient();
                uint32_t index = seen.GetConnectTimeout() - 1000;
                if (index >= 8 || !(seen == clients[index]) ||
                    seen.GetReceiveTimeout() != seen.GetConnectTimeout() ||
                    Narrow(seen.GetUserAgent()) != "thread" + std::to_string(index)) {
                    ++wrong;
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, 0);
    HttpClient last = HttpClient::GetGlobalClient();
    EXPECT_TRUE(std::any_of(clients.begin(), clients.end(),
                            [&](const HttpClient& c) { return c == last; }));
}

TEST_F(KaLnk, PingOfServerAnswering200IsOk) {
    UseOneSecond();
    LoopbackServer server(Mode::Answer200);
    EXPECT_EQ(PingServer(server.Uri()), KaLnkCb::SS_OK);
    ASSERT_EQ(server.Heads().size(), 1u) << "one request, no retry";
    EXPECT_EQ(server.Heads()[0].substr(0, server.Heads()[0].find("\r\n")),
              std::string("GET ") + kPingPath + " HTTP/1.1");
}

// The daemon's addresses name the host "localhost"; the name must lead to the loopback
// server (and the Host header carry the name and port).
TEST_F(KaLnk, PingReachesLoopbackServerByTheNameLocalhost) {
    UseOneSecond();
    LoopbackServer server(Mode::Answer200);
    std::string port = std::to_string(server.Port());
    EXPECT_EQ(PingServer(KaTekNet::URI_t(("http://localhost:" + port + kPingPath).c_str())),
              KaLnkCb::SS_OK);
    ASSERT_EQ(server.Heads().size(), 1u);
    EXPECT_EQ(HeaderValue(server.Heads()[0], "Host"), "localhost:" + port);
}

TEST_F(KaLnk, PingOfServerAnsweringOtherStatusIsBadAnswer) {
    UseOneSecond();
    for (Mode mode : {Mode::Answer404, Mode::Answer500}) {
        LoopbackServer server(mode);
        EXPECT_EQ(PingServer(server.Uri()), KaLnkCb::SS_BAD_ANSWER);
        EXPECT_EQ(server.Heads().size(), 1u);
    }
}

// Following the redirect would report on another address than the one asked about.
TEST_F(KaLnk, PingDoesNotFollowRedirects) {
    UseOneSecond();
    LoopbackServer server(Mode::Redirect);
    EXPECT_EQ(PingServer(server.Uri()), KaLnkCb::SS_BAD_ANSWER);
    EXPECT_EQ(server.Heads().size(), 1u);
}

TEST_F(KaLnk, PingOfClosedPortIsRefusedAtOnce) {
    UseClient({{"CONNECT_TIMEOUT", "5000"}, {"RECEIVE_TIMEOUT", "5000"}});
    uint16_t port = ClosedPort();
    ASSERT_NE(port, 0);
    auto start = Clock::now();
    EXPECT_EQ(
        PingServer(KaTekNet::URI_t(("http://127.0.0.1:" + std::to_string(port) + "/").c_str())),
        KaLnkCb::SS_REFUSED);
    EXPECT_LT(MillisecondsSince(start), 4000) << "a refusal must not wait for the time-out";
}

TEST_F(KaLnk, PingOfServerHangingUpIsFailed) {
    UseOneSecond();
    LoopbackServer server(Mode::Hangup);
    EXPECT_EQ(PingServer(server.Uri()), KaLnkCb::SS_FAILED);
    EXPECT_EQ(server.Heads().size(), 1u) << "no retry";
}

TEST_F(KaLnk, PingOfSilentServerTimesOutWithinReceiveTimeoutAndLetsGo) {
    UseOneSecond();
    LoopbackServer server(Mode::Silent);
    auto start = Clock::now();
    EXPECT_EQ(PingServer(server.Uri()), KaLnkCb::SS_TIMEOUT);
    long long elapsed = MillisecondsSince(start);
    RecordProperty("ping_ms", static_cast<int>(elapsed));
    EXPECT_LT(elapsed, 2000) << "receive time-out 1000 ms, plus one second";
    EXPECT_GE(elapsed, 900) << "must wait for the answer as long as configured";
    EXPECT_EQ(server.Heads().size(), 1u) << "no retry";
    auto deadline = Clock::now() + std::chrono::seconds(5);
    while (server.PeerClosures() == 0 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(server.PeerClosures(), 1) << "the abandoned connection must be closed";
}

// A listener that accepts nothing with its queue full makes the system drop new
// connection attempts, so the connect time-out is the one that must end the ping.
TEST_F(KaLnk, PingOfUnacceptingListenerTimesOutWithinConnectTimeout) {
    UseClient({{"CONNECT_TIMEOUT", "1000"}, {"RECEIVE_TIMEOUT", "5000"}});
    WinsockSession winsock;
    unique_socket listener = ListenOnLoopback(0);
    ASSERT_TRUE(listener);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(PortOf(listener.get()));
    std::vector<unique_socket> fillers;
    for (int i = 0; i < 4; ++i) {
        fillers.emplace_back(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        u_long nonBlocking = 1;
        ioctlsocket(fillers.back().get(), FIONBIO, &nonBlocking);
        connect(fillers.back().get(), reinterpret_cast<sockaddr*>(&address), sizeof(address));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    auto start = Clock::now();
    EXPECT_EQ(PingServer(KaTekNet::URI_t(
                  ("http://127.0.0.1:" + std::to_string(PortOf(listener.get())) + "/").c_str())),
              KaLnkCb::SS_TIMEOUT);
    long long elapsed = MillisecondsSince(start);
    RecordProperty("ping_ms", static_cast<int>(elapsed));
    EXPECT_LT(elapsed, 2000) << "connect time-out 1000 ms, plus one second";
}

TEST_F(KaLnk, ServerSeesUserAgentOfGlobalClientAtPingTime) {
    LoopbackServer server(Mode::Answer200);
    UseClient({{"APP_NAME", "com.trelm.ka.ctrl.kac"}, {"APP_VERSION", "1.5.0.0"}});
    EXPECT_EQ(PingServer(server.Uri()), KaLnkCb::SS_OK);
    UseClient({{"APP_NAME", "other"}, {"APP_VERSION", "2"}});
    EXPECT_EQ(PingServer(server.Uri()), KaLnkCb::SS_OK);
    std::vector<std::string> heads = server.Heads();
    ASSERT_EQ(heads.size(), 2u);
    EXPECT_EQ(HeaderValue(heads[0], "User-Agent"), "com.trelm.ka.ctrl.kac/1.5.0.0");
    EXPECT_EQ(HeaderValue(heads[1], "User-Agent"), "other/2");
}

TEST_F(KaLnk, PingOfEmptyUriThrows) {
    EXPECT_THROW(PingServer(KaTekNet::URI_t()), KaTekMsg::RuntimeError_t);
}

// The value a new kernel handle gets: the system hands out the lowest free slot, so a
// handle left open by a ping shows as a higher value.
uintptr_t NextHandleValue() {
    KaHold::unique_handle probe(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    return reinterpret_cast<uintptr_t>(probe.get());
}

// Pings that answer, are refused and time out (with a short receive time-out, so that the
// silent server costs little) must all give back every handle they took.
TEST_F(KaLnk, TwoHundredPingsLeaveNoHandleBehind) {
    LoopbackServer answering(Mode::Answer200);
    LoopbackServer silent(Mode::Silent);
    KaTekNet::URI_t refused(("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/").c_str());
    HttpClient steady(Settings({{"CONNECT_TIMEOUT", "2000"}, {"RECEIVE_TIMEOUT", "2000"}}));
    HttpClient hasty(Settings({{"CONNECT_TIMEOUT", "2000"}, {"RECEIVE_TIMEOUT", "20"}}));
    auto pingAll = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            HttpClient::SetGlobalClient(steady);
            EXPECT_EQ(PingServer(answering.Uri()), KaLnkCb::SS_OK);
            EXPECT_EQ(PingServer(refused), KaLnkCb::SS_REFUSED);
            if (i % 5 == 0) {
                HttpClient::SetGlobalClient(hasty);
                EXPECT_EQ(PingServer(silent.Uri()), KaLnkCb::SS_TIMEOUT);
            }
        }
    };
    pingAll(5); // the platform's first-use allocations happen here
    uintptr_t before = NextHandleValue();
    pingAll(100);
    uintptr_t after = NextHandleValue();
    // The platform's thread pool may add a worker thread (a few handles) when a new
    // ping starts while the last one's worker is still on its way back; a ping that left
    // one handle behind would show as 20 slots or more.
    constexpr uintptr_t kSlotStep = 4; // kernel handle values go up in steps of four
    EXPECT_LE(after, before + 6 * kSlotStep)
        << "handle slots in use grew by " << (after - before) / kSlotStep;
}

} // namespace
