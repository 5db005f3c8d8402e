// Internal: a ping's connection to a loopback server, tried ahead of WinHTTP on sockets of
// its own. Windows retries a connection that a loopback port refuses for about two seconds
// per address, and "localhost" may name ::1 before 127.0.0.1: WinHTTP alone would spend the
// connect time-out on a daemon that does not listen, or on the address it does not listen on.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace KaLnkCb {

// Where a ping's connection goes.
struct LoopbackRoute {
    enum Kind {
        NotLoopback, // the host names another address too, or cannot be resolved: not probed
        Refused,     // every address refused the connection
        TimedOut,    // none accepted before the deadline
        Reached,     // server accepted the probe
    } kind;
    std::wstring server; // the address that accepted, as numeric text (Reached)
};

// ProbeLoopback tries, when every address host resolves to is a loopback address, to connect
// to each at port at once, without SYN retransmissions, so that a refusal answers in
// milliseconds; it waits at most until deadline. The address chosen is the first, in the
// resolver's order, that did not refuse (LoopbackChoice.h). The probe's connections are
// closed without a byte sent, so the server sees nothing but connections that end.
LoopbackRoute ProbeLoopback(const std::wstring& host, uint16_t port,
                            std::chrono::steady_clock::time_point deadline);

} // namespace KaLnkCb
