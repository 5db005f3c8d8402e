// KaLnk, the agent's communication library: the process-wide HTTP client and the ping.
// One DLL, KaLnk.dll.
//
// An HttpClient is made from a configuration set (usually the namespace "lnk.http"):
//     CONNECT_TIMEOUT  milliseconds to connect and send, default 3000, at most 60000
//     RECEIVE_TIMEOUT  milliseconds to wait for the answer, default 3000, at most 60000
//     APP_NAME, APP_VERSION   the User-Agent is "APP_NAME/APP_VERSION" ("KaLnk/1.0" when
//                             APP_NAME is not set; APP_NAME alone when APP_VERSION is not)
// A value that is not a whole number of milliseconds in 1..60000 (blanks around it aside)
// takes the default.
// Copies of an HttpClient share one client; == tells whether two copies do.
#pragma once

#include "KaTek.h"

#include <memory>

#ifdef KALNK_BUILD
#define KALNK_API __declspec(dllexport)
#else
#define KALNK_API __declspec(dllimport)
#endif

namespace KaLnkHttp {

class KALNK_API HttpClient {
public:
    HttpClient(); // the defaults, as from an empty configuration
    explicit HttpClient(const KaTekConfig::Configuration_t& configuration);

    uint32_t GetConnectTimeout() const;
    uint32_t GetReceiveTimeout() const;
    KaTekStr::String_t GetUserAgent() const;
    bool operator==(const HttpClient& other) const { return impl_ == other.impl_; }
    bool operator!=(const HttpClient& other) const { return impl_ != other.impl_; }

    // A copy of the process-wide client (the defaults until one is set).
    static HttpClient GetGlobalClient();
    // Makes client the process-wide one; the library keeps its own copy.
    static void SetGlobalClient(const HttpClient& client);

private:
    struct Impl;
    std::shared_ptr<const Impl> impl_;
};

} // namespace KaLnkHttp

namespace KaLnkCb {

// What PingServer found.
enum ServiceStatus {
    SS_OK = 0,         // the server answered the ping: HTTP status 200 to a GET of the URI
    SS_REFUSED = 1,    // nothing accepted the connection (or the host is unknown)
    SS_TIMEOUT = 2,    // no connection or no answer within the client's time-outs
    SS_BAD_ANSWER = 3, // the server answered with another HTTP status
    SS_FAILED = 4,     // any other failure (TLS, the platform's HTTP stack)
};

// PingServer sends one GET request to uri with client's time-outs and User-Agent, through
// WinHTTP in asynchronous mode, straight to the server (no proxy, no redirect followed, no
// connection kept). Connecting and sending get the connect time-out, the answer the receive
// time-out from the moment the request went out; when one passes the request is closed, and
// WinHTTP gets at most half a second more to let go of it. It never retries. Throws
// RuntimeError_t for the empty URI. Each ping opens a WinHTTP session of its own and shares
// nothing with other pings; it neither reads nor sets the process-wide client, so pings on
// several threads run side by side, each with the client it was given.
// A host whose every address is a loopback one ("localhost", 127.0.0.1, ::1) is first tried
// on sockets of the ping's own, every address at once, each without SYN retransmissions: a
// port where nothing listens answers SS_REFUSED within milliseconds (Windows would otherwise
// retry it for about two seconds per address), and the request goes to the first address in
// the resolver's order that accepted, so a daemon listening on 127.0.0.1 alone is reached
// however the resolver orders ::1. Those tries share the connect time-out and are closed
// without a byte sent; the request itself carries the Host field the URI names, so the server
// sees the request it would see without them.
KALNK_API ServiceStatus PingServer(const KaLnkHttp::HttpClient& client, const KaTekNet::URI_t& uri);

// PingServer pings the server at uri as above, with the process-wide client (the copy
// GetGlobalClient gives at the moment of the call).
KALNK_API ServiceStatus PingServer(const KaTekNet::URI_t& uri);

} // namespace KaLnkCb
