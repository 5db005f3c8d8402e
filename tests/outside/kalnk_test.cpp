// KaLnk: the client's settings, and PingServer against a real loopback HTTP server run on a
// thread of this program.
#include "KaLnk.h"

#include "HandleCount.h"
#include "Holders.h"
#include "KaTekTest.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using KaLnkCb::PingServer;
using KaLnkHttp::HttpClient;
using KaTekStr::String_t;
using Clock = std::chrono::steady_clock;

const std::string kPingPath = "/com.trelm.ka.ctrl.kacd/lnkrpcserver";

HttpClient Client(const std::vector<std::pair<const char*, const char*>>& settings) {
    KaTekConfig::Configuration_t configuration;
    for (const auto& [key, value] : settings) {
        configuration.SetAttrValue(key, value);
    }
    return HttpClient(configuration);
}

long long MillisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

KaTekNet::URI_t Uri(const std::string& host, uint16_t port) {
    return KaTekNet::URI_t(("http://" + host + ":" + std::to_string(port) + kPingPath).c_str());
}

const int winsock = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data);
}();

// A listening socket on 127.0.0.1 at a port the system chooses, given back in port.
KaHold::unique_socket Listen(uint16_t& port) {
    KaHold::unique_socket listener(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size);
    listen(listener.get(), SOMAXCONN);
    getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size);
    port = ntohs(address.sin_port);
    return listener;
}

bool IsReadable(SOCKET s, int ms) {
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval wait{ms / 1000, ms % 1000 * 1000};
    return select(0, &readable, nullptr, nullptr, &wait) == 1;
}

// Answers each request with the status line answer; "hangup" closes the connection without
// a word, "silent" holds it without answering until the client lets go of it.
class LoopbackServer {
public:
    explicit LoopbackServer(std::string answer)
        : answer_(std::move(answer)), listener_(Listen(port_)), thread_([this] { Serve(); }) {}
    ~LoopbackServer() { Stop(); }
    uint16_t Port() const { return port_; }
    // The heads of the requests received, once the server has stopped.
    std::vector<std::string> Stop() {
        if (!stop_.exchange(true)) {
            thread_.join();
        }
        return heads_;
    }

private:
    void Serve() {
        while (!stop_) {
            if (!IsReadable(listener_.get(), 20)) {
                continue;
            }
            KaHold::unique_socket connection(accept(listener_.get(), nullptr, nullptr));
            std::string head;
            char buffer[1024];
            for (int got = 1; got > 0 && head.find("\r\n\r\n") == std::string::npos;) {
                got = IsReadable(connection.get(), 2000) ? recv(connection.get(), buffer, 1024, 0)
                                                         : 0;
                head.append(buffer, static_cast<size_t>(std::max(got, 0)));
            }
            heads_.push_back(head);
            const std::string answer =
                "HTTP/1.1 " + answer_ + "\r\nLocation: http://127.0.0.1:" + std::to_string(port_) +
                "/moved\r\nContent-Length: 2" + "\r\nConnection: close\r\n\r\nok";
            if (answer_ == "silent") {
                IsReadable(connection.get(), 5000); // until the client lets go of it
            } else if (answer_ != "hangup") {
                send(connection.get(), answer.data(), static_cast<int>(answer.size()), 0);
            }
        }
    }

    const std::string answer_;
    uint16_t port_ = 0;
    KaHold::unique_socket listener_;
    std::atomic<bool> stop_{false};
    std::vector<std::string> heads_;
    std::thread thread_;
};

// Each test sets the process-wide client it needs.

// Time-outs are whole milliseconds in 1..60000, anything else takes the default 3000; the
// User-Agent is "APP_NAME/APP_VERSION", or "KaLnk/1.0" without a name.
TEST(KaLnk, ClientSettingsFallBackToTheDefaults) {
    const std::pair<const char*, uint32_t> timeouts[] = {
        {"1", 1}, {" 60000\t", 60000}, {"0", 3000}, {"60001", 3000}, {"12x", 3000}};
    for (const auto& [text, expected] : timeouts) {
        const HttpClient client = Client({{"CONNECT_TIMEOUT", text}, {"RECEIVE_TIMEOUT", "2"}});
        EXPECT_EQ(expected, client.GetConnectTimeout()) << "'" << text << "'";
        EXPECT_EQ(expected, Client({{"RECEIVE_TIMEOUT", text}}).GetReceiveTimeout()) << text;
    }
    EXPECT_EQ(String_t("KaLnk/1.0"), Client({{"APP_VERSION", "9"}}).GetUserAgent());
}

// One GET of the URI per ping, never retried, no redirect followed, with the User-Agent of
// the process-wide client at ping time; the daemon's name "localhost" must reach the server.
// Silence ends the ping after the receive time-out (1000 ms), neither sooner nor more than
// a second later; a refusal comes at once, not after the connect time-out.
TEST(KaLnk, PingJudgesTheAnswerWithinItsTimeOuts) {
    const std::pair<const char*, KaLnkCb::ServiceStatus> cases[] = {
        {"200 OK", KaLnkCb::SS_OK},
        {"404 Not Found", KaLnkCb::SS_BAD_ANSWER},
        {"302 Found", KaLnkCb::SS_BAD_ANSWER}, // following it would report on another address
        {"hangup", KaLnkCb::SS_FAILED},
        {"silent", KaLnkCb::SS_TIMEOUT},
    };
    for (const auto& [answer, expected] : cases) {
        LoopbackServer server(answer);
        HttpClient::SetGlobalClient(Client({{"CONNECT_TIMEOUT", "5000"},
                                            {"RECEIVE_TIMEOUT", "1000"},
                                            {"APP_NAME", answer},
                                            {"APP_VERSION", "1.5"}}));
        const Clock::time_point start = Clock::now();
        EXPECT_EQ(expected, PingServer(Uri("localhost", server.Port()))) << answer;
        const long long elapsed = MillisecondsSince(start);
        EXPECT_TRUE(expected != KaLnkCb::SS_TIMEOUT || (elapsed >= 900 && elapsed < 2000))
            << elapsed << " ms";
        const std::vector<std::string> heads = server.Stop();
        ASSERT_EQ(1u, heads.size()) << answer;
        EXPECT_EQ(0u, heads[0].find("GET " + kPingPath + " HTTP/1.1\r\n"));
        EXPECT_PRED2(Contains, heads[0], "\r\nHost: localhost:" + std::to_string(server.Port()));
        EXPECT_PRED2(Contains, heads[0], "\r\nUser-Agent: " + std::string(answer) + "/1.5\r\n");
    }
    uint16_t closed = 0;
    Listen(closed); // taken from the system, then let go: nothing listens on it
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(KaLnkCb::SS_REFUSED, PingServer(Uri("127.0.0.1", closed)));
    EXPECT_LT(MillisecondsSince(start), 4000) << "a refusal must not wait for the time-out";
    EXPECT_THROW(PingServer(KaTekNet::URI_t()), KaTekMsg::RuntimeError_t);
}

// Pings that answer, are refused and time out (a short receive time-out keeps the silent
// server cheap) must give back every handle they took, the abandoned connections too.
TEST(KaLnk, PingsLeaveNoHandleBehind) {
    LoopbackServer answering("200 OK");
    LoopbackServer silent("silent");
    uint16_t closed = 0;
    Listen(closed); // taken from the system, then let go: nothing listens on it
    const KaTekNet::URI_t refused = Uri("127.0.0.1", closed);
    const HttpClient steady = Client({{"CONNECT_TIMEOUT", "2000"}, {"RECEIVE_TIMEOUT", "2000"}});
    const HttpClient hasty = Client({{"CONNECT_TIMEOUT", "2000"}, {"RECEIVE_TIMEOUT", "20"}});
    const auto pingAll = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            HttpClient::SetGlobalClient(steady);
            EXPECT_EQ(KaLnkCb::SS_OK, PingServer(Uri("127.0.0.1", answering.Port())));
            EXPECT_EQ(KaLnkCb::SS_REFUSED, PingServer(refused));
            HttpClient::SetGlobalClient(hasty);
            EXPECT_EQ(KaLnkCb::SS_TIMEOUT, PingServer(Uri("127.0.0.1", silent.Port())));
        }
    };
    pingAll(3); // the platform's first-use allocations happen here
    const KaTest::HandleUse before = KaTest::MeasureHandleUse();
    pingAll(40);
    EXPECT_TRUE(KaTest::NoMoreHandles(before, KaTest::MeasureHandleUse()));
}

} // namespace
