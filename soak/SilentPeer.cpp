#include "SilentPeer.h"

#include <deque>
#include <memory>
#include <thread>
#include <utility>

namespace Soak {

namespace {

// A silent peer keeps each connection longer than any receive time-out of a ping.
constexpr ULONGLONG kHoldMs = 10000;

} // namespace

KaHold::unique_socket ListenOnLoopback(uint16_t& port) {
    port = 0;
    KaHold::unique_socket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    if (!listener || ::bind(listener.get(), reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener.get(), SOMAXCONN) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return KaHold::unique_socket();
    }
    port = ntohs(address.sin_port);
    return listener;
}

uint16_t StartSilentPeer(const std::atomic<bool>& stop) {
    // Winsock stays started for the process's life: the peer's thread outlives this call.
    WSADATA data;
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return 0;
    }
    uint16_t port = 0;
    auto listener = std::make_shared<KaHold::unique_socket>(ListenOnLoopback(port));
    if (!*listener) {
        return 0;
    }
    std::thread([listener, &stop] {
        std::deque<std::pair<ULONGLONG, KaHold::unique_socket>> held;
        while (!stop) { // then the connections held are let go
            fd_set readable;
            FD_ZERO(&readable);
            FD_SET(listener->get(), &readable);
            timeval wait{0, 100000};
            if (::select(0, &readable, nullptr, nullptr, &wait) > 0) {
                held.emplace_back(::GetTickCount64(), KaHold::unique_socket(::accept(
                                                          listener->get(), nullptr, nullptr)));
            }
            while (!held.empty() && ::GetTickCount64() - held.front().first > kHoldMs) {
                held.pop_front();
            }
        }
    }).detach();
    return port;
}

} // namespace Soak
