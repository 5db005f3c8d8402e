// KaLnk: the client's settings, and PingServer on a thread of its own against loopback HTTP
// servers that this program serves, on 127.0.0.1 and on ::1; where a loopback ping goes, by a
// table.
#include "AgentNames.h"
#include "Checks.h"
#include "KaLnk.h"
#include "LoopbackChoice.h"
#include "LoopbackProbe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <vector>

using KaLnkCb::PingServer;
using KaLnkHttp::HttpClient;
using KaTekConfig::Configuration_t;
using KaTekMsg::RuntimeError_t;
using KaTekNet::URI_t;
using KaTekStr::String_t;
using KaTest::Contains;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

const std::string kPingPath = KaAgent::kPingPath;

HttpClient Client(const std::vector<std::pair<const char*, const char*>>& settings) {
    Configuration_t configuration;
    for (const auto& [key, value] : settings) {
        configuration.SetAttrValue(key, value);
    }
    return HttpClient(configuration);
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

// Pings host at port through the process-wide client on a thread of its own, while this one
// serves the connection that comes to listener: it reads the request's head and answers with
// the status line answer; "hangup" closes the connection without a word, "silent" holds it
// until the client lets go of it. Answers what the ping found and the head the server read.
std::pair<KaLnkCb::ServiceStatus, std::string>
Ping(SOCKET listener, uint16_t port, const std::string& host, const std::string& answer) {
    std::future<KaLnkCb::ServiceStatus> status = std::async(std::launch::async, [&] {
        return PingServer(
            URI_t(("http://" + host + ":" + std::to_string(port) + kPingPath).c_str()));
    });
    // The ping's own try of a loopback address comes first, and ends without a byte.
    KaHold::unique_socket connection;
    std::string head;
    for (int tries = 0; head.empty() && tries < 2; ++tries) {
        connection.reset(IsReadable(listener, 10000) ? accept(listener, nullptr, nullptr)
                                                     : INVALID_SOCKET);
        char buffer[1024];
        for (int got = 1; got > 0 && head.find("\r\n\r\n") == std::string::npos;) {
            got = IsReadable(connection.get(), 2000) ? recv(connection.get(), buffer, 1024, 0) : 0;
            head.append(buffer, static_cast<size_t>(std::max(got, 0)));
        }
    }
    const std::string reply = "HTTP/1.1 " + answer +
                              "\r\nLocation: http://127.0.0.1:" + std::to_string(port) +
                              "/moved\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok";
    if (answer == "silent") {
        IsReadable(connection.get(), 20000); // until the client lets go of it
    } else if (answer != "hangup") {
        send(connection.get(), reply.data(), static_cast<int>(reply.size()), 0);
    }
    connection.reset(); // before the ping ends: a hangup is no silence
    return {status.get(), head};
}

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

// One GET of the URI per ping, never retried, no redirect followed (a second connection would
// wait unserved); the daemon's name "localhost" must reach the server (the User-Agent is judged
// by status_test). Silence ends the ping by the receive time-out (4000 ms): not sooner, and not
// by the default (3000 ms) nor the connect time-out (10000 ms); the bounds leave seconds for a
// busy machine (that a refusal comes at once is judged by status_test). Pings that answer, are
// refused and time out (a short receive time-out keeps the silent server cheap) must give back
// every handle they took, the abandoned connections too.
TEST(KaLnk, PingJudgesTheAnswerWithinItsTimeOutsAndLeavesNoHandle) {
    const std::pair<const char*, KaLnkCb::ServiceStatus> cases[] = {
        {"200 OK", KaLnkCb::SS_OK},
        {"404 Not Found", KaLnkCb::SS_BAD_ANSWER},
        {"302 Found", KaLnkCb::SS_BAD_ANSWER}, // following it would report on another address
        {"hangup", KaLnkCb::SS_FAILED},
        {"silent", KaLnkCb::SS_TIMEOUT},
    };
    for (const auto& [answer, expected] : cases) {
        uint16_t port = 0;
        const KaHold::unique_socket listener = Listen(port);
        HttpClient::SetGlobalClient(
            Client({{"CONNECT_TIMEOUT", "10000"}, {"RECEIVE_TIMEOUT", "4000"}}));
        const Clock::time_point start = Clock::now();
        const auto [status, head] = Ping(listener.get(), port, "localhost", answer);
        const Clock::duration elapsed = Clock::now() - start;
        EXPECT_EQ(expected, status) << answer;
        EXPECT_TRUE(expected != KaLnkCb::SS_TIMEOUT || (elapsed >= 3900ms && elapsed < 8000ms))
            << elapsed / 1ms << " ms";
        EXPECT_FALSE(IsReadable(listener.get(), 0)) << answer << ": a second connection";
        EXPECT_EQ(0u, head.find("GET " + kPingPath + " HTTP/1.1\r\n")) << head;
        EXPECT_PRED2(Contains, head, "\r\nHost: localhost:" + std::to_string(port));
    }
    uint16_t closed = 0, answering = 0, silent = 0;
    Listen(closed); // taken from the system, then let go: nothing listens on it
    const URI_t refused(("http://127.0.0.1:" + std::to_string(closed) + kPingPath).c_str());
    EXPECT_THROW(PingServer(URI_t()), RuntimeError_t);
    const KaHold::unique_socket answerer = Listen(answering), holder = Listen(silent);
    const HttpClient steady = Client({{"CONNECT_TIMEOUT", "2000"}, {"RECEIVE_TIMEOUT", "2000"}});
    const HttpClient hasty = Client({{"CONNECT_TIMEOUT", "2000"}, {"RECEIVE_TIMEOUT", "20"}});
    const auto pingAll = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            HttpClient::SetGlobalClient(steady);
            EXPECT_EQ(KaLnkCb::SS_OK, Ping(answerer.get(), answering, "127.0.0.1", "200 OK").first);
            EXPECT_EQ(KaLnkCb::SS_REFUSED, PingServer(refused));
            HttpClient::SetGlobalClient(hasty);
            EXPECT_EQ(KaLnkCb::SS_TIMEOUT, Ping(holder.get(), silent, "127.0.0.1", "silent").first);
        }
    };
    pingAll(3); // the platform's first-use allocations happen here
    const uintptr_t before = KaTest::HighestFreshHandle();
    pingAll(40);
    EXPECT_TRUE(KaTest::NoMoreHandlesThan(before));
}

// Where a loopback server is reached: the first address in the resolver's order that did
// not refuse, an earlier one still unanswered waited for while there is time.
TEST(KaLnk, LoopbackAddressChosenInTheResolversOrder) {
    using KaLnkCb::Choice;
    using R = KaLnkCb::Reach;
    const struct {
        std::vector<R> reaches;
        bool timeIsUp;
        Choice::Verdict verdict;
        size_t index;
    } cases[] = {
        {{}, false, Choice::Refused, 0},
        {{R::Refused, R::Refused}, false, Choice::Refused, 0},
        {{R::Accepted, R::Pending}, false, Choice::Use, 0},
        {{R::Refused, R::Accepted}, false, Choice::Use, 1},
        {{R::Pending, R::Accepted}, false, Choice::Wait, 0},
        {{R::Pending, R::Accepted}, true, Choice::Use, 1},
        {{R::Refused, R::Pending}, false, Choice::Wait, 0},
        {{R::Refused, R::Pending}, true, Choice::TimedOut, 0},
    };
    for (const auto& c : cases) {
        const Choice choice = KaLnkCb::ChooseAddress(c.reaches, c.timeIsUp);
        EXPECT_EQ(choice.verdict, c.verdict) << c.reaches.size() << " " << c.timeIsUp;
        EXPECT_EQ(choice.verdict == Choice::Use ? choice.index : 0, c.index);
    }
    EXPECT_EQ(KaLnkCb::WriteHostField(L"localhost", 80, false), L"localhost");
    EXPECT_EQ(KaLnkCb::WriteHostField(L"localhost", 443, false), L"localhost:443");
    EXPECT_EQ(KaLnkCb::WriteHostField(L"localhost", 443, true), L"localhost");
}

// Whether "localhost" names ::1 here; Windows names it first, a Linux host under Wine may not.
bool LocalhostNamesIpv6() {
    ADDRINFOW hints{};
    hints.ai_family = AF_INET6;
    hints.ai_socktype = SOCK_STREAM;
    KaHold::unique_address_info found;
    return ::GetAddrInfoW(L"localhost", L"80", &hints, found.put()) == 0 &&
           IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<sockaddr_in6*>(found.get()->ai_addr)->sin6_addr);
}

// A listening socket on ::1 alone, at a port where 127.0.0.1 has none.
KaHold::unique_socket ListenIpv6(uint16_t& port) {
    for (;;) {
        KaHold::unique_socket listener(socket(AF_INET6, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_addr = in6addr_loopback;
        int size = sizeof(address);
        bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size);
        listen(listener.get(), SOMAXCONN);
        getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size);
        port = ntohs(address.sin6_port);
        KaHold::unique_socket probe(socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
        sockaddr_in v4{};
        v4.sin_family = AF_INET;
        v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        v4.sin_port = htons(port);
        if (bind(probe.get(), reinterpret_cast<sockaddr*>(&v4), sizeof(v4)) == 0) {
            return listener;
        }
    }
}

// A daemon that listens on one loopback address is reached where the resolver names that
// address, on ::1 as on 127.0.0.1 (the Host field as the URI names the server is judged by
// PingJudgesTheAnswerWithinItsTimeOutsAndLeavesNoHandle); one that does not listen is refused
// at once, long before the connect time-out (20 s), with no request made.
TEST(KaLnk, LoopbackPingsReachTheAddressThatListensAndRefusalsAnswerAtOnce) {
    uint16_t port = 0;
    const KaHold::unique_socket onIpv6 = ListenIpv6(port);
    const auto deadline = Clock::now() + 20s;
    const KaLnkCb::LoopbackRoute literal = KaLnkCb::ProbeLoopback(L"::1", port, deadline);
    EXPECT_EQ(literal.kind, KaLnkCb::LoopbackRoute::Reached);
    EXPECT_EQ(literal.server, L"::1");
    const KaLnkCb::LoopbackRoute named = KaLnkCb::ProbeLoopback(L"localhost", port, deadline);
    EXPECT_EQ(named.kind, LocalhostNamesIpv6() ? KaLnkCb::LoopbackRoute::Reached
                                               : KaLnkCb::LoopbackRoute::Refused);
    EXPECT_EQ(KaLnkCb::ProbeLoopback(L"localhost.invalid", port, deadline).kind,
              KaLnkCb::LoopbackRoute::NotLoopback);
    uint16_t closed = 0;
    Listen(closed);
    HttpClient::SetGlobalClient(
        Client({{"CONNECT_TIMEOUT", "20000"}, {"RECEIVE_TIMEOUT", "4000"}}));
    const URI_t refused(("http://localhost:" + std::to_string(closed) + kPingPath).c_str());
    const Clock::time_point start = Clock::now();
    EXPECT_EQ(KaLnkCb::SS_REFUSED, PingServer(refused));
    EXPECT_LT(Clock::now() - start, 5000ms);
}

} // namespace
