// net_repro: loopback sockets and WinHTTP alone, with none of the library's code, used from
// several threads at once the way the daemon's pings use them: a non-blocking connection to
// each loopback address of a port (one that answers, one that refuses, one that accepts and
// never answers), a wait in select, then an asynchronous GET with short time-outs whose
// request is closed as soon as it answers or its time runs out. It tells a failure of the
// platform from one of the library when Wine's server stops on an assertion of its own under
// the soak's status calls.
//   net_repro [SECONDS] [THREADS]
// It prints the rounds by outcome; a server that fails shows in its own messages, which
// `./ka soak net-repro` watches.
#include "Holders.h"
#include "SilentPeer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::atomic<bool> g_stop{false};

class Tally {
public:
    void Count(const std::string& outcome) {
        std::lock_guard<std::mutex> guard(lock_);
        ++outcomes_[outcome];
    }
    void Print() const {
        unsigned long rounds = 0;
        for (const auto& [what, count] : outcomes_) {
            std::printf("  %-44s %lu\n", what.c_str(), count);
            rounds += count;
        }
        std::printf("%lu rounds\n", rounds);
    }

private:
    std::mutex lock_;
    std::map<std::string, unsigned long> outcomes_;
};

// Answers every request with 200 and closes the connection.
void Serve(SOCKET listener) {
    static const char answer[] =
        "HTTP/1.0 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
    while (!g_stop) {
        KaHold::unique_socket peer(::accept(listener, nullptr, nullptr));
        if (!peer) {
            continue;
        }
        // A probe that connects and sends nothing must not hold the server up.
        DWORD timeout = 2000;
        ::setsockopt(peer.get(), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                     sizeof(timeout));
        char request[1024];
        ::recv(peer.get(), request, sizeof(request), 0);
        ::send(peer.get(), answer, sizeof(answer) - 1, 0);
        ::shutdown(peer.get(), SD_SEND);
    }
}

// Connects without blocking to ::1 and 127.0.0.1 at port and waits up to a second: true when
// one of them was accepted, false when both were refused or the time ran out.
bool Probe(uint16_t port) {
    sockaddr_in v4{};
    v4.sin_family = AF_INET;
    v4.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    v4.sin_port = htons(port);
    sockaddr_in6 v6{};
    v6.sin6_family = AF_INET6;
    v6.sin6_addr = in6addr_loopback;
    v6.sin6_port = htons(port);
    const std::pair<const sockaddr*, int> targets[] = {
        {reinterpret_cast<const sockaddr*>(&v6), static_cast<int>(sizeof(v6))},
        {reinterpret_cast<const sockaddr*>(&v4), static_cast<int>(sizeof(v4))}};
    std::vector<KaHold::unique_socket> pending;
    for (const auto& [address, length] : targets) {
        KaHold::unique_socket probe(::socket(address->sa_family, SOCK_STREAM, IPPROTO_TCP));
        u_long nonBlocking = 1;
        if (!probe || ::ioctlsocket(probe.get(), FIONBIO, &nonBlocking) != 0) {
            continue;
        }
        if (::connect(probe.get(), address, length) == 0) {
            return true;
        }
        if (::WSAGetLastError() == WSAEWOULDBLOCK) {
            pending.push_back(std::move(probe));
        }
    }
    // A refusal of one address must not end the wait for the other.
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(1);
    while (!pending.empty()) {
        fd_set made;
        fd_set failed;
        FD_ZERO(&made);
        FD_ZERO(&failed);
        for (const auto& probe : pending) {
            FD_SET(probe.get(), &made);
            FD_SET(probe.get(), &failed);
        }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
            std::max(deadline - Clock::now(), Clock::duration::zero()));
        timeval wait{static_cast<long>(left.count() / 1000000),
                     static_cast<long>(left.count() % 1000000)};
        if (::select(0, nullptr, &made, &failed, &wait) <= 0) {
            return false;
        }
        for (auto probe = pending.begin(); probe != pending.end();) {
            if (FD_ISSET(probe->get(), &failed)) {
                probe = pending.erase(probe);
            } else if (FD_ISSET(probe->get(), &made)) {
                return true;
            } else {
                ++probe;
            }
        }
    }
    return false;
}

// What the request's callback has seen; the events are set from WinHTTP's threads. The
// caller and the callback each hold a reference: the callback drops its own when WinHTTP says
// the request is closing, which may come long after the caller has gone on.
struct Request {
    KaHold::unique_handle sent{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    KaHold::unique_handle answered{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    KaHold::unique_handle closing{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
    std::atomic<bool> failed{false};
    std::atomic<int> references{1};

    void Release() {
        if (--references == 0) {
            delete this;
        }
    }
};

void CALLBACK OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID, DWORD) {
    auto* request = reinterpret_cast<Request*>(context);
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
        ::SetEvent(request->sent.get());
        break;
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        ::SetEvent(request->answered.get());
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        request->failed = true;
        ::SetEvent(request->sent.get());
        ::SetEvent(request->answered.get());
        break;
    case WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING:
        ::SetEvent(request->closing.get());
        request->Release();
        break;
    default:
        break;
    }
}

// One asynchronous GET with a receive time-out of timeout ms, closed as soon as it ends.
std::string Get(uint16_t port, DWORD timeout) {
    KaHold::unique_winhttp session(WinHttpOpen(L"net_repro", WINHTTP_ACCESS_TYPE_NO_PROXY,
                                               WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                                               WINHTTP_FLAG_ASYNC));
    if (!session || !WinHttpSetTimeouts(session.get(), 1000, 1000, 1000, timeout)) {
        return "session failed";
    }
    KaHold::unique_winhttp connection(WinHttpConnect(session.get(), L"127.0.0.1", port, 0));
    KaHold::unique_winhttp handle(connection ? WinHttpOpenRequest(connection.get(), L"GET", L"/",
                                                                  nullptr, WINHTTP_NO_REFERER,
                                                                  WINHTTP_DEFAULT_ACCEPT_TYPES, 0)
                                             : nullptr);
    auto* owned = new Request;
    Request& request = *owned;
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(owned);
    DWORD disabled = WINHTTP_DISABLE_KEEP_ALIVE;
    if (!handle ||
        !WinHttpSetOption(handle.get(), WINHTTP_OPTION_DISABLE_FEATURE, &disabled,
                          sizeof(disabled)) ||
        !WinHttpSetOption(handle.get(), WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context)) ||
        WinHttpSetStatusCallback(handle.get(), OnStatus,
                                 WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS |
                                     WINHTTP_CALLBACK_FLAG_HANDLES,
                                 0) == WINHTTP_INVALID_STATUS_CALLBACK) {
        owned->Release();
        return "request failed";
    }
    ++request.references;
    std::string outcome = "sent, no answer in time";
    if (!WinHttpSendRequest(handle.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                            0, 0, context)) {
        outcome = "send refused";
    } else if (::WaitForSingleObject(request.sent.get(), timeout) != WAIT_OBJECT_0) {
        outcome = "send not complete in time";
    } else if (request.failed || !WinHttpReceiveResponse(handle.get(), nullptr)) {
        outcome = "failed";
    } else if (::WaitForSingleObject(request.answered.get(), timeout) == WAIT_OBJECT_0) {
        outcome = request.failed ? "failed" : "answered";
    }
    // Closing ends whatever is still running; the callback may still run until it says so.
    handle.reset();
    if (::WaitForSingleObject(request.closing.get(), 500) != WAIT_OBJECT_0) {
        outcome += ", close not reported in 0.5 s";
    }
    owned->Release();
    return outcome;
}

void Work(unsigned seed, const uint16_t (&ports)[3], Tally& tally) {
    static const char* const names[] = {"served", "refused", "silent"};
    std::mt19937 random(seed);
    while (!g_stop) {
        const size_t which = random() % 3;
        std::string outcome =
            Probe(ports[which]) ? Get(ports[which], 200 + random() % 300) : "probe found none";
        tally.Count(std::string(names[which]) + ": " + outcome);
    }
}

} // namespace

int main(int argc, char** argv) {
    const unsigned long seconds = argc > 1 ? std::stoul(argv[1]) : 60;
    const unsigned long threads = argc > 2 ? std::stoul(argv[2]) : 6;
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return 2;
    }
    uint16_t ports[3] = {};
    KaHold::unique_socket served = Soak::ListenOnLoopback(ports[0]);
    // A port listened on and closed again refuses.
    Soak::ListenOnLoopback(ports[1]);
    ports[2] = Soak::StartSilentPeer(g_stop);
    if (!served || ports[1] == 0 || ports[2] == 0) {
        std::fprintf(stderr, "net_repro: no loopback listener (%d)\n", ::WSAGetLastError());
        return 2;
    }
    std::printf("net_repro: %lu s, %lu threads, served %u, refused %u, silent %u\n", seconds,
                threads, ports[0], ports[1], ports[2]);
    std::fflush(stdout);
    std::thread server(Serve, served.get());
    Tally tally;
    std::vector<std::thread> workers;
    for (unsigned i = 0; i < threads; ++i) {
        workers.emplace_back(Work, 31 + i, std::cref(ports), std::ref(tally));
    }
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    g_stop = true;
    for (auto& worker : workers) {
        worker.join();
    }
    // One more connection ends the server's wait in accept.
    Probe(ports[0]);
    server.join();
    tally.Print();
    return 0;
}
