// A minimal HTTP/1.1 server on loopback for the stand-in: answers the agent's ping path,
// 404 for everything else, and records every request head it reads. It runs on the
// calling thread with select(), so stopping it never waits for worker threads. When every
// connection slot is taken, a newcomer takes the place of a closed or the idlest connection
// (ChooseEvicted, HttpRules.h), so that clients that connect and say nothing cannot keep a ping
// out.
#pragma once

#include <winsock2.h>

#include "Common.h"
#include "Holders.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Standin {

using KaHold::unique_socket;

// Winsock is usable for as long as one of these lives.
class WinsockSession {
public:
    Outcome Start();
    ~WinsockSession();
    WinsockSession() = default;
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;

private:
    bool started_ = false;
};

// Appends one line per request, "<method> <target>\t<User-Agent>\n", where each field has
// its control bytes written \xHH and its backslashes doubled, so a request can forge no line.
// Each line goes out in one write straight to the file, so a test reading the file sees it
// as soon as the request has been answered. Without a path it records nothing.
class RequestLog {
public:
    Outcome Open(const std::wstring& path);
    void Write(const std::string& method, const std::string& target, const std::string& agent);

private:
    KaHold::unique_handle file_;
};

class HttpServer {
public:
    HttpServer(RequestLog& log, bool silent);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on 127.0.0.1:port and [::1]:port (0: a port the system picks, the same for
    // both), since a client may try either for "localhost"; bound receives the port. No other
    // socket may share either address (SO_EXCLUSIVEADDRUSE). Without IPv6, on 127.0.0.1 only.
    Outcome Listen(uint16_t port, uint16_t& bound);
    // Serves until stop is signalled or the tick count reaches deadline, then closes every
    // connection and listener.
    void Serve(HANDLE stop, ULONGLONG deadline);

private:
    struct Connection;

    void Step(HANDLE stop);
    void Accept(SOCKET listener);
    bool DropIdlest();
    void OnReadable(Connection& connection);
    void OnHead(Connection& connection);
    void OnWritable(Connection& connection);
    void Expire();
    void CloseAll();

    RequestLog& log_;
    bool silent_;
    std::vector<unique_socket> listeners_;
    std::vector<std::unique_ptr<Connection>> connections_;
};

} // namespace Standin
