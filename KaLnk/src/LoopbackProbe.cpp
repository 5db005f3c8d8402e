// Connection attempts to loopback addresses on sockets of the ping's own.
#include "LoopbackProbe.h"

#include "LoopbackChoice.h"

#include "Holders.h"

#include <mstcpip.h>

#include <algorithm>
#include <vector>

namespace KaLnkCb {

namespace {

using Clock = std::chrono::steady_clock;

// More addresses than a loopback name has; FD_SETSIZE bounds a select.
constexpr size_t kMostAddresses = 8;

// Winsock for the length of one probe; the platform counts starts and cleanups.
class WinsockUse {
public:
    WinsockUse() {
        WSADATA data;
        started_ = ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }
    ~WinsockUse() {
        if (started_) {
            ::WSACleanup();
        }
    }
    WinsockUse(const WinsockUse&) = delete;
    WinsockUse& operator=(const WinsockUse&) = delete;
    bool Started() const { return started_; }

private:
    bool started_ = false;
};

bool IsLoopback(const sockaddr* address) {
    if (address->sa_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
        return (ntohl(v4->sin_addr.s_addr) >> 24) == 127; // all of 127.0.0.0/8
    }
    if (address->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
        return IN6_IS_ADDR_LOOPBACK(&v6->sin6_addr) != 0;
    }
    return false;
}

struct Address {
    sockaddr_storage storage;
    int length;
};

// The addresses host resolves to for a TCP connection to port, in the resolver's order; none
// when it cannot be resolved, names another address too, or names more than a probe takes.
std::vector<Address> ResolveLoopback(std::wstring host, uint16_t port) {
    // A URI writes an IPv6 literal in brackets; the resolver takes it bare.
    if (host.size() > 2 && host.front() == L'[' && host.back() == L']') {
        host = host.substr(1, host.size() - 2);
    }
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    KaHold::unique_address_info found;
    const std::wstring service = std::to_wstring(port);
    if (::GetAddrInfoW(host.c_str(), service.c_str(), &hints, found.put()) != 0) {
        return {};
    }
    std::vector<Address> addresses;
    for (const ADDRINFOW* entry = found.get(); entry != nullptr; entry = entry->ai_next) {
        if (!IsLoopback(entry->ai_addr) || entry->ai_addrlen > sizeof(sockaddr_storage) ||
            addresses.size() == kMostAddresses) {
            return {};
        }
        Address address{};
        std::copy_n(reinterpret_cast<const char*>(entry->ai_addr), entry->ai_addrlen,
                    reinterpret_cast<char*>(&address.storage));
        address.length = static_cast<int>(entry->ai_addrlen);
        addresses.push_back(address);
    }
    return addresses;
}

// Starts a connection to address that is not retried once refused; reach says how it stands.
KaHold::unique_socket StartConnection(const Address& address, Reach& reach) {
    reach = Reach::Refused;
    KaHold::unique_socket probe(::socket(address.storage.ss_family, SOCK_STREAM, IPPROTO_TCP));
    if (!probe) {
        return probe;
    }
    // Where the stack has no such control (before Windows 8, or elsewhere), a refusal may take
    // longer, but comes all the same.
    TCP_INITIAL_RTO_PARAMETERS once{TCP_INITIAL_RTO_UNSPECIFIED_RTT,
                                    TCP_INITIAL_RTO_NO_SYN_RETRANSMISSIONS};
    DWORD returned = 0;
    ::WSAIoctl(probe.get(), SIO_TCP_INITIAL_RTO, &once, sizeof(once), nullptr, 0, &returned,
               nullptr, nullptr);
    u_long nonBlocking = 1;
    if (::ioctlsocket(probe.get(), FIONBIO, &nonBlocking) != 0) {
        return KaHold::unique_socket();
    }
    if (::connect(probe.get(), reinterpret_cast<const sockaddr*>(&address.storage),
                  address.length) == 0) {
        reach = Reach::Accepted;
    } else if (::WSAGetLastError() == WSAEWOULDBLOCK) {
        reach = Reach::Pending;
    }
    return probe;
}

// Waits until deadline at most for a pending connection to be made or refused, and marks
// what became of each: a connection made shows as writable, a refused one as an exception.
void AwaitAnswers(const std::vector<KaHold::unique_socket>& probes, std::vector<Reach>& reaches,
                  Clock::time_point deadline) {
    fd_set made;
    fd_set failed;
    FD_ZERO(&made);
    FD_ZERO(&failed);
    for (size_t i = 0; i < probes.size(); ++i) {
        if (reaches[i] == Reach::Pending) {
            FD_SET(probes[i].get(), &made);
            FD_SET(probes[i].get(), &failed);
        }
    }
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        std::max(deadline - Clock::now(), Clock::duration::zero()));
    timeval wait{static_cast<long>(left.count() / 1000000),
                 static_cast<long>(left.count() % 1000000)};
    if (::select(0, nullptr, &made, &failed, &wait) == SOCKET_ERROR) {
        std::replace(reaches.begin(), reaches.end(), Reach::Pending, Reach::Refused);
        return;
    }
    for (size_t i = 0; i < probes.size(); ++i) {
        if (reaches[i] != Reach::Pending) {
            continue;
        }
        if (FD_ISSET(probes[i].get(), &failed)) {
            reaches[i] = Reach::Refused;
        } else if (FD_ISSET(probes[i].get(), &made)) {
            int error = 0;
            int size = sizeof(error);
            ::getsockopt(probes[i].get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                         &size);
            reaches[i] = error == 0 ? Reach::Accepted : Reach::Refused;
        }
    }
}

std::wstring FormatNumeric(const Address& address) {
    wchar_t text[NI_MAXHOST] = {};
    if (::GetNameInfoW(reinterpret_cast<const sockaddr*>(&address.storage), address.length, text,
                       NI_MAXHOST, nullptr, 0, NI_NUMERICHOST) != 0) {
        return std::wstring();
    }
    return text;
}

} // namespace

LoopbackRoute ProbeLoopback(const std::wstring& host, uint16_t port, Clock::time_point deadline) {
    const WinsockUse winsock;
    const std::vector<Address> addresses =
        winsock.Started() ? ResolveLoopback(host, port) : std::vector<Address>();
    if (addresses.empty()) {
        return {LoopbackRoute::NotLoopback, {}};
    }
    std::vector<KaHold::unique_socket> probes;
    std::vector<Reach> reaches(addresses.size());
    for (size_t i = 0; i < addresses.size(); ++i) {
        probes.push_back(StartConnection(addresses[i], reaches[i]));
    }
    for (;;) {
        const Choice choice = ChooseAddress(reaches, Clock::now() >= deadline);
        switch (choice.verdict) {
        case Choice::Wait:
            AwaitAnswers(probes, reaches, deadline);
            break;
        case Choice::Use: {
            std::wstring server = FormatNumeric(addresses[choice.index]);
            return server.empty() ? LoopbackRoute{LoopbackRoute::NotLoopback, {}}
                                  : LoopbackRoute{LoopbackRoute::Reached, server};
        }
        case Choice::Refused:
            return {LoopbackRoute::Refused, {}};
        case Choice::TimedOut:
            return {LoopbackRoute::TimedOut, {}};
        }
    }
}

} // namespace KaLnkCb
