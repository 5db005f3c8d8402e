// Room for the most connections we keep, plus the listeners, in one select() call.
#define FD_SETSIZE 256

#include "HttpServer.h"

#include <ws2tcpip.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

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

struct Request {
    std::string method;
    std::string target;
    std::string userAgent;
};

bool EqualsNoCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && b[i] == '\0';
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos) {
        return {};
    }
    size_t end = text.find_last_not_of(" \t");
    return text.substr(begin, end - begin + 1);
}

// Where the head ends: just after its first empty line. A line ends with LF, with or without
// a CR before it, as lenient servers read it; npos while the head is incomplete.
size_t HeadEnd(const std::string& buffer) {
    for (size_t lf = buffer.find('\n'); lf != std::string::npos; lf = buffer.find('\n', lf + 1)) {
        size_t next = lf + 1 + (buffer.compare(lf + 1, 1, "\r") == 0 ? 1 : 0);
        if (buffer.compare(next, 1, "\n") == 0) {
            return next + 1;
        }
    }
    return std::string::npos;
}

// The lines of a head, each without its line end.
std::vector<std::string> HeadLines(const std::string& head) {
    std::vector<std::string> lines;
    for (size_t start = 0, lf = 0; lf != std::string::npos; start = lf + 1) {
        lf = head.find('\n', start);
        std::string line = head.substr(start, lf - start);
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

Request ParseHead(const std::string& head) {
    std::vector<std::string> lines = HeadLines(head);
    Request request;
    const std::string& requestLine = lines.front();
    size_t firstSpace = requestLine.find(' ');
    request.method = requestLine.substr(0, firstSpace);
    if (firstSpace != std::string::npos) {
        size_t secondSpace = requestLine.find(' ', firstSpace + 1);
        request.target = requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1);
    }
    for (size_t i = 1; i < lines.size(); ++i) {
        size_t colon = lines[i].find(':');
        if (colon != std::string::npos && EqualsNoCase(lines[i].substr(0, colon), "User-Agent")) {
            request.userAgent = Trim(lines[i].substr(colon + 1));
        }
    }
    return request;
}

// A field as printable text on one line: control bytes and the backslash become escapes, so
// that no request can end a log line early or fake the tab between fields.
std::string Escaped(const std::string& field) {
    std::string escaped;
    for (unsigned char c : field) {
        if (c == '\\') {
            escaped += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            char code[5];
            std::snprintf(code, sizeof code, "\\x%02X", c);
            escaped += code;
        } else {
            escaped += static_cast<char>(c);
        }
    }
    return escaped;
}

// The path of a request target, in origin form or absolute form, without query.
std::string PathOf(const std::string& target) {
    size_t start = 0;
    size_t scheme = target.find("://");
    if (target.compare(0, 1, "/") != 0 && scheme != std::string::npos) {
        start = target.find('/', scheme + 3);
        if (start == std::string::npos) {
            return "/";
        }
    }
    return target.substr(start, target.find_first_of("?#", start) - start);
}

std::string Answer(const Request& request) {
    bool ping = (request.method == "GET" || request.method == "POST") &&
                PathOf(request.target) == kPingPath;
    std::string status = ping ? "200 OK" : "404 Not Found";
    std::string body = ping ? "kacd stand-in: ok\n" : "not found\n";
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: text/plain\r\nContent-Length: " + std::to_string(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

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
        return Outcome::LastError("cannot open the log " + Narrow(path));
    }
    return Outcome::Success();
}

void RequestLog::Write(const std::string& method, const std::string& target,
                       const std::string& agent) {
    if (!file_) {
        return;
    }
    std::string line = Escaped(method) + " " + Escaped(target) + "\t" + Escaped(agent) + "\n";
    DWORD written = 0;
    ::WriteFile(file_.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

struct HttpServer::Connection {
    enum class State { Reading, Holding, Writing, Draining, Closed };

    unique_socket socket;
    State state = State::Reading;
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
    unique_socket listener(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    if (!listener) {
        return Outcome::Fail(static_cast<DWORD>(::WSAGetLastError()), "cannot make a socket");
    }
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    std::string where = "127.0.0.1:" + std::to_string(port);
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        return Outcome::Fail(static_cast<DWORD>(::WSAGetLastError()), "cannot bind " + where);
    }
    if (::listen(listener.get(), SOMAXCONN) != 0 || !SetNonBlocking(listener.get())) {
        return Outcome::Fail(static_cast<DWORD>(::WSAGetLastError()), "cannot listen on " + where);
    }
    int length = sizeof(address);
    if (::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        return Outcome::Fail(static_cast<DWORD>(::WSAGetLastError()), "cannot read the port");
    }
    bound = ::ntohs(address.sin_port);
    listeners_.push_back(std::move(listener));
    return Outcome::Success();
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
               connection->state == Connection::State::Writing ? &writable : &readable);
    }
    if (readable.fd_count == 0 && writable.fd_count == 0) {
        // select() refuses empty sets; with nothing to serve there is only the stop to wait for.
        ::WaitForSingleObject(stop, kPollMicroseconds / 1000);
        return;
    }
    timeval poll = {0, kPollMicroseconds};
    if (::select(0, &readable, &writable, nullptr, &poll) > 0) {
        for (const unique_socket& listener : listeners_) {
            if (FD_ISSET(listener.get(), &readable)) {
                Accept(listener.get());
            }
        }
        // Accept appends newcomers and may drop idle connections. A newcomer given a dropped
        // socket's number is read once more here, which at worst finds nothing.
        for (const auto& connection : connections_) {
            if (FD_ISSET(connection->socket.get(), &readable)) {
                OnReadable(*connection);
            } else if (FD_ISSET(connection->socket.get(), &writable)) {
                OnWritable(*connection);
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

// Makes room for a newcomer, so that idle clients holding every slot cannot starve a ping:
// closes the connection heard from longest ago that still waits for its client's head (or,
// silent, for it to go), else one that only waits for its client to close. Answers false
// when every connection is being answered.
bool HttpServer::DropIdlest() {
    auto rank = [](const Connection& connection) {
        return connection.state == Connection::State::Draining  ? 1
               : connection.state == Connection::State::Writing ? 2
                                                                : 0;
    };
    auto idlest = std::min_element(
        connections_.begin(), connections_.end(), [&](const auto& a, const auto& b) {
            return std::make_pair(rank(*a), a->lastHeard) < std::make_pair(rank(*b), b->lastHeard);
        });
    if (idlest == connections_.end() || rank(**idlest) == 2) {
        return false;
    }
    Abort((*idlest)->socket);
    connections_.erase(idlest);
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
        connection.state = Connection::State::Closed;
        return;
    }
    if (connection.state != Connection::State::Reading) {
        return; // holding or draining: what the client sends now is of no interest
    }
    connection.lastHeard = ::GetTickCount64();
    connection.buffer.append(chunk, static_cast<size_t>(received));
    if (HeadEnd(connection.buffer) != std::string::npos) {
        OnHead(connection);
    } else if (connection.buffer.size() > kMaxHead) {
        Abort(connection.socket);
        connection.state = Connection::State::Closed;
    }
}

void HttpServer::OnHead(Connection& connection) {
    Request request = ParseHead(connection.buffer.substr(0, HeadEnd(connection.buffer)));
    // Recorded before answering, so that the line is there when the client has its answer.
    log_.Write(request.method, request.target, request.userAgent);
    if (silent_) {
        connection.buffer.clear();
        connection.state = Connection::State::Holding;
        return;
    }
    connection.buffer = Answer(request);
    connection.sent = 0;
    connection.state = Connection::State::Writing;
    OnWritable(connection);
}

void HttpServer::OnWritable(Connection& connection) {
    const std::string& answer = connection.buffer;
    int sent = ::send(connection.socket.get(), answer.data() + connection.sent,
                      static_cast<int>(answer.size() - connection.sent), 0);
    if (sent == SOCKET_ERROR) {
        if (::WSAGetLastError() != WSAEWOULDBLOCK) {
            Abort(connection.socket);
            connection.state = Connection::State::Closed;
        }
        return;
    }
    connection.sent += static_cast<size_t>(sent);
    if (connection.sent == answer.size()) {
        connection.buffer.clear();
        connection.state = Connection::State::Draining;
        connection.deadline = ::GetTickCount64() + kDrainTimeoutMs;
    }
}

// Drops connections that are closed, and those whose head or closing is overdue; a silent
// connection is held until the client goes or we stop.
void HttpServer::Expire() {
    ULONGLONG now = ::GetTickCount64();
    for (auto& connection : connections_) {
        bool timed = connection->state == Connection::State::Reading ||
                     connection->state == Connection::State::Draining;
        if (timed && now >= connection->deadline) {
            Abort(connection->socket);
            connection->state = Connection::State::Closed;
        }
    }
    connections_.erase(std::remove_if(connections_.begin(), connections_.end(),
                                      [](const std::unique_ptr<Connection>& connection) {
                                          return connection->state == Connection::State::Closed;
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
