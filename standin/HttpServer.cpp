// Room for the most connections we keep, plus the listeners, in one select() call.
#define FD_SETSIZE 256

#include "HttpServer.h"
#include "HttpRules.h"

#include <ws2tcpip.h>

#include <algorithm>

namespace Standin {

namespace {

constexpr size_t kMaxConnections = 200;
// Accepted in one round at most, so that a flood of connections never keeps us from reading.
constexpr int kAcceptsPerRound = 64;
constexpr size_t kMaxHead = 16 * 1024;
// A client that has not sent its request head by then is dropped.
constexpr ULONGLONG kHeadTimeoutMs = 5000;
// After answering, how long we wait for the client to close first; the side that closes
// first keeps the address in TIME_WAIT, and it should not be ours (port 80 is re-bound).
constexpr ULONGLONG kDrainTimeoutMs = 2000;
constexpr long kPollMicroseconds = 50 * 1000;

// Closes with a reset instead of the usual close, so that no TIME_WAIT is left behind.
void Abort(unique_socket& socket) {
    if (socket) {
        LINGER linger = {1, 0};
        ::setsockopt(socket.get(), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&linger),
                     sizeof(linger));
        socket.reset();
    }
}

bool SetNonBlocking(SOCKET socket) {
    u_long on = 1;
    return ::ioctlsocket(socket, FIONBIO, &on) == 0;
}

// How often a port the system picked for 127.0.0.1 is picked again when ::1 has it taken.
constexpr int kPortPicks = 8;

std::string Where(int family, uint16_t port) {
    return (family == AF_INET ? "127.0.0.1:" : "[::1]:") + std::to_string(port);
}

// The failure of the Winsock call just made, read before anything else can change it.
Outcome SocketFailure(const char* doing, int family, uint16_t port) {
    const DWORD code = static_cast<DWORD>(::WSAGetLastError());
    return Outcome::Fail(code, doing + Where(family, port));
}

// A non-blocking socket listening on the loopback address of family at port (0: a port the
// system picks); bound receives the port. No other socket may bind the same address and
// port while it lives (SO_EXCLUSIVEADDRUSE, which works only when set before bind).
Outcome ListenOn(int family, uint16_t port, unique_socket& listener, uint16_t& bound) {
    listener.reset(::socket(family, SOCK_STREAM, IPPROTO_TCP));
    if (!listener) {
        return SocketFailure("cannot make a socket for ", family, port);
    }
    BOOL exclusive = TRUE;
    if (::setsockopt(listener.get(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE,
                     reinterpret_cast<const char*>(&exclusive), sizeof(exclusive)) != 0) {
        return SocketFailure("cannot reserve ", family, port);
    }
    sockaddr_storage address = {};
    int length = family == AF_INET ? sizeof(sockaddr_in) : sizeof(sockaddr_in6);
    if (family == AF_INET) {
        auto& v4 = reinterpret_cast<sockaddr_in&>(address);
        v4.sin_family = AF_INET;
        v4.sin_port = ::htons(port);
        v4.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    } else {
        auto& v6 = reinterpret_cast<sockaddr_in6&>(address);
        v6.sin6_family = AF_INET6;
        v6.sin6_port = ::htons(port);
        v6.sin6_addr.s6_addr[15] = 1; // ::1
    }
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        return SocketFailure("cannot bind ", family, port);
    }
    if (::listen(listener.get(), SOMAXCONN) != 0 || !SetNonBlocking(listener.get())) {
        return SocketFailure("cannot listen on ", family, port);
    }
    if (::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return SocketFailure("cannot read the port of ", family, port);
    }
    bound = ::ntohs(reinterpret_cast<sockaddr_in&>(address).sin_port); // same place in both
    return Outcome::Success();
}

// A machine without IPv6 has no ::1 to listen on, and no client can reach us there either.
bool NoIpv6(DWORD code) {
    return code == WSAEAFNOSUPPORT || code == WSAEADDRNOTAVAIL;
}

} // namespace

Outcome WinsockSession::Start() {
    WSADATA data;
    int result = ::WSAStartup(MAKEWORD(2, 2), &data);
    if (result != 0) {
        return Outcome::Fail(static_cast<DWORD>(result), "cannot start Winsock");
    }
    started_ = true;
    return Outcome::Success();
}

WinsockSession::~WinsockSession() {
    if (started_) {
        ::WSACleanup();
    }
}

Outcome RequestLog::Open(const std::wstring& path) {
    if (path.empty()) {
        return Outcome::Success();
    }
    // Shared for reading, writing and deletion, so that tests may read, truncate or remove
    // the file while we run.
    file_.reset(::CreateFileW(path.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file_) {
        return Outcome::LastError("cannot open the log ", path);
    }
    return Outcome::Success();
}

void RequestLog::Write(const std::string& method, const std::string& target,
                       const std::string& agent) {
    if (!file_) {
        return;
    }
    std::string line =
        EscapeField(method) + " " + EscapeField(target) + "\t" + EscapeField(agent) + "\n";
    DWORD written = 0;
    ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

struct HttpServer::Connection {
    unique_socket socket;
    Phase phase = Phase::Reading;
    std::string buffer; // the request head while reading, the answer while writing
    size_t sent = 0;
    ULONGLONG deadline = 0;
    ULONGLONG lastHeard = 0; // when the client last connected or sent something
};

HttpServer::HttpServer(RequestLog& log, bool silent) : log_(log), silent_(silent) {}

HttpServer::~HttpServer() {
    CloseAll();
}

Outcome HttpServer::Listen(uint16_t port, uint16_t& bound) {
    for (int pick = 1;; ++pick) {
        unique_socket v4;
        unique_socket v6;
        Outcome outcome = ListenOn(AF_INET, port, v4, bound);
        if (!outcome.Ok()) {
            return outcome;
        }
        uint16_t same = 0;
        outcome = ListenOn(AF_INET6, bound, v6, same);
        const bool taken = outcome.code == WSAEADDRINUSE || outcome.code == WSAEACCES;
        if (taken && port == 0 && pick < kPortPicks) {
            continue; // the port the system picked for 127.0.0.1 is someone's on ::1
        }
        if (NoIpv6(outcome.code)) {
            v6.reset();
            outcome = Outcome::Success();
        }
        if (outcome.Ok()) {
            listeners_.push_back(std::move(v4));
            if (v6) {
                listeners_.push_back(std::move(v6));
            }
        }
        return outcome;
    }
}

void HttpServer::Serve(HANDLE stop, ULONGLONG deadline) {
    while (::WaitForSingleObject(stop, 0) == WAIT_TIMEOUT && ::GetTickCount64() < deadline) {
        Step(stop);
    }
    CloseAll();
}

// One round: wait at most one poll interval for sockets to become ready, serve them, and
// drop the connections that are done or overdue.
void HttpServer::Step(HANDLE stop) {
    fd_set readable;
    fd_set writable;
    FD_ZERO(&readable);
    FD_ZERO(&writable);
    // Listened to even when every slot is taken: a newcomer then replaces the idlest.
    for (const unique_socket& listener : listeners_) {
        FD_SET(listener.get(), &readable);
    }
    for (const auto& connection : connections_) {
        FD_SET(connection->socket.get(),
               connection->phase == Phase::Writing ? &writable : &readable);
    }
    if (readable.fd_count == 0 && writable.fd_count == 0) {
        // select() refuses empty sets; with nothing to serve there is only the stop to wait for.
        ::WaitForSingleObject(stop, kPollMicroseconds / 1000);
        return;
    }
    timeval poll = {0, kPollMicroseconds};
    if (::select(0, &readable, &writable, nullptr, &poll) > 0) {
        // The connections first, so that a client that has closed is known as closed before a
        // newcomer needs its slot, and so that the sets are read before Accept closes sockets
        // whose numbers a newcomer may then get.
        for (const auto& connection : connections_) {
            if (FD_ISSET(connection->socket.get(), &readable)) {
                OnReadable(*connection);
            } else if (FD_ISSET(connection->socket.get(), &writable)) {
                OnWritable(*connection);
            }
        }
        for (const unique_socket& listener : listeners_) {
            if (FD_ISSET(listener.get(), &readable)) {
                Accept(listener.get());
            }
        }
    }
    Expire();
}

void HttpServer::Accept(SOCKET listener) {
    for (int round = 0; round < kAcceptsPerRound; ++round) {
        unique_socket accepted(::accept(listener, nullptr, nullptr));
        if (!accepted || !SetNonBlocking(accepted.get())) {
            return; // WSAEWOULDBLOCK: nobody else is waiting
        }
        if (connections_.size() >= kMaxConnections && !DropIdlest()) {
            Abort(accepted); // every slot is busy answering; the client may try again
            continue;
        }
        auto connection = std::make_unique<Connection>();
        connection->socket = std::move(accepted);
        connection->lastHeard = ::GetTickCount64();
        connection->deadline = connection->lastHeard + kHeadTimeoutMs;
        connections_.push_back(std::move(connection));
        // A ping sends its head at once: answering it now keeps it ahead of any flood.
        OnReadable(*connections_.back());
    }
}

// Makes room for a newcomer (see ChooseEvicted); false when every connection is being answered.
bool HttpServer::DropIdlest() {
    std::vector<ConnectionView> views;
    for (const auto& connection : connections_) {
        views.push_back({connection->phase, connection->lastHeard});
    }
    const size_t evicted = ChooseEvicted(views);
    if (evicted == std::string::npos) {
        return false;
    }
    Abort(connections_[evicted]->socket);
    connections_.erase(connections_.begin() + static_cast<ptrdiff_t>(evicted));
    return true;
}

void HttpServer::OnReadable(Connection& connection) {
    char chunk[4096];
    int received = ::recv(connection.socket.get(), chunk, sizeof(chunk), 0);
    if (received == SOCKET_ERROR && ::WSAGetLastError() == WSAEWOULDBLOCK) {
        return;
    }
    if (received <= 0) {
        // The client closed (or reset) first: a plain close leaves no TIME_WAIT on our side.
        connection.socket.reset();
        connection.phase = Phase::Closed;
        return;
    }
    if (connection.phase != Phase::Reading) {
        return; // holding or draining: what the client sends now is of no interest
    }
    connection.lastHeard = ::GetTickCount64();
    connection.buffer.append(chunk, static_cast<size_t>(received));
    if (FindHeadEnd(connection.buffer) != std::string::npos) {
        OnHead(connection);
    } else if (connection.buffer.size() > kMaxHead) {
        Abort(connection.socket);
        connection.phase = Phase::Closed;
    }
}

void HttpServer::OnHead(Connection& connection) {
    Request request = ParseHead(connection.buffer.substr(0, FindHeadEnd(connection.buffer)));
    // Recorded before answering, so that the line is there when the client has its answer.
    log_.Write(request.method, request.target, request.userAgent);
    if (silent_) {
        connection.buffer.clear();
        connection.phase = Phase::Holding;
        return;
    }
    connection.buffer = BuildAnswer(request, kPingPath);
    connection.sent = 0;
    connection.phase = Phase::Writing;
    OnWritable(connection);
}

void HttpServer::OnWritable(Connection& connection) {
    const std::string& answer = connection.buffer;
    int sent = ::send(connection.socket.get(), answer.data() + connection.sent,
                      static_cast<int>(answer.size() - connection.sent), 0);
    if (sent == SOCKET_ERROR) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK) {
            Abort(connection.socket);
            connection.phase = Phase::Closed;
        }
        return;
    }
    connection.sent += static_cast<size_t>(sent);
    if (connection.sent == answer.size()) {
        connection.buffer.clear();
        connection.phase = Phase::Draining;
        connection.deadline = ::GetTickCount64() + kDrainTimeoutMs;
    }
}

// Drops connections that are closed, and those whose head or closing is overdue; a silent
// connection is held until the client goes or we stop.
void HttpServer::Expire() {
    ULONGLONG now = ::GetTickCount64();
    for (auto& connection : connections_) {
        bool timed = connection->phase == Phase::Reading || connection->phase == Phase::Draining;
        if (timed && now >= connection->deadline) {
            Abort(connection->socket);
            connection->phase = Phase::Closed;
        }
    }
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [](const std::unique_ptr<Connection>& connection) {
                                          return connection->phase == Phase::Closed;
                                      }),
                       connections_.end());
}

void HttpServer::CloseAll() {
    for (auto& connection : connections_) {
        Abort(connection->socket);
    }
    connections_.clear();
    listeners_.clear();
}

} // namespace Standin
