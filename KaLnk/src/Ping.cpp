// PingServer: one GET through WinHTTP in asynchronous mode, bounded by the caller's own
// deadlines. The synchronous mode is not used because some WinHTTP implementations let a
// request block far beyond its time-outs when a server accepts and never answers; here the
// handles are closed when a deadline passes, which ends the request whatever the stack does.
#include "KaLnk.h"

#include "LoopbackChoice.h"
#include "LoopbackProbe.h"

#include "Holders.h"

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

namespace KaLnkCb {

namespace {

using Clock = std::chrono::steady_clock;
using KaHold::unique_winhttp;

// The caller's deadlines decide the outcome; WinHTTP's own time-outs are set this much
// later, so that they cannot end a request first with a misleading error, yet still make
// the platform's worker let go of a silent server soon after the caller has given up.
constexpr uint32_t kPlatformLag = 100;

// How long to wait, after closing the request, for WinHTTP to say it is done with it. The
// progress record outlives this wait if need be (see Progress), so the bound only keeps a
// slow close from holding up the caller.
constexpr std::chrono::milliseconds kClosingWait(500);

// What the status callback has seen of one request. The caller and the callback each hold
// a reference; the callback drops its own when the request handle is closing, the last
// notification WinHTTP sends for it, so no late notification can touch freed memory.
struct Progress {
    std::mutex lock;
    std::condition_variable changed;
    bool requestSent = false;   // connected, and the request is on its way
    bool sendCompleted = false; // the send step is over; the answer may be asked for
    Clock::time_point requestSentAt;
    Clock::time_point sendCompletedAt;
    bool answered = false; // the response headers have arrived
    bool closing = false;
    DWORD error = 0; // the error of a failed asynchronous step, 0 while none failed
};
using ProgressRef = std::shared_ptr<Progress>;

void Record(Progress& progress, DWORD status, const void* info) {
    std::lock_guard<std::mutex> guard(progress.lock);
    if (status == WINHTTP_CALLBACK_STATUS_REQUEST_SENT) {
        progress.requestSent = true;
        progress.requestSentAt = Clock::now();
    } else if (status == WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE) {
        progress.sendCompleted = true;
        progress.sendCompletedAt = Clock::now();
    } else if (status == WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE) {
        progress.answered = true;
    } else if (status == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR) {
        DWORD error = static_cast<const WINHTTP_ASYNC_RESULT*>(info)->dwError;
        progress.error = error != 0 ? error : ERROR_WINHTTP_INTERNAL_ERROR;
    } else if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
        progress.closing = true;
    }
    progress.changed.notify_all();
}

void CALLBACK OnRequestStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD) {
    // Notifications that come before the context is attached carry 0 and tell nothing.
    if (context == 0) {
        return;
    }
    auto* reference = reinterpret_cast<ProgressRef*>(context);
    Record(**reference, status, info);
    if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
        delete reference;
    }
}

// Waits until done(progress) holds or the deadline passes; false when it passed first.
template <typename Done> bool WaitUntil(Progress& progress, Clock::time_point deadline, Done done) {
    std::unique_lock<std::mutex> guard(progress.lock);
    return progress.changed.wait_until(guard, deadline, [&] { return done(progress); });
}

ServiceStatus JudgeError(DWORD error) {
    switch (error) {
    case ERROR_WINHTTP_CANNOT_CONNECT:
    case ERROR_WINHTTP_NAME_NOT_RESOLVED:
        return SS_REFUSED;
    case ERROR_WINHTTP_TIMEOUT:
        return SS_TIMEOUT;
    default:
        return SS_FAILED;
    }
}

ServiceStatus JudgeAnswer(HINTERNET request) {
    DWORD code = 0;
    DWORD size = sizeof(code);
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX)) {
        return SS_FAILED;
    }
    return code == 200 ? SS_OK : SS_BAD_ANSWER;
}

// The session carries the client's settings.
unique_winhttp OpenSession(const KaLnkHttp::HttpClient& client) {
    KaTekStr::String_t agent = client.GetUserAgent();
    // A proxy's answer would tell nothing about the server pinged, so none is used.
    unique_winhttp session(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY,
                                       WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS,
                                       WINHTTP_FLAG_ASYNC));
    int connect = static_cast<int>(client.GetConnectTimeout() + kPlatformLag);
    int receive = static_cast<int>(client.GetReceiveTimeout() + kPlatformLag);
    if (session && !WinHttpSetTimeouts(session.get(), connect, connect, connect, receive)) {
        session.reset();
    }
    return session;
}

// A redirect would make the answer come from another address than the one pinged, and a
// kept-alive connection would outlive the call; both are turned off. The wait for the
// response headers has a time-out of its own, apart from the receive time-out, with a
// default of a minute or more: it gets the receive time-out too, so that the platform's
// worker gives up a silent server soon after the caller does and frees the connection.
bool ConfigureRequest(HINTERNET request, uint32_t receiveTimeout) {
    DWORD disabled = WINHTTP_DISABLE_REDIRECTS | WINHTTP_DISABLE_KEEP_ALIVE;
    DWORD headersTimeout = receiveTimeout + kPlatformLag;
    return WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &disabled, sizeof(disabled)) &&
           WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &headersTimeout,
                            sizeof(headersTimeout));
}

unique_winhttp OpenRequest(HINTERNET connection, const KaTekNet::URI_t& uri,
                           uint32_t receiveTimeout) {
    DWORD flags = uri.GetScheme() == "https" ? WINHTTP_FLAG_SECURE : 0;
    unique_winhttp request(WinHttpOpenRequest(connection, L"GET", uri.GetPath().c_str(), nullptr,
                                              WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                              flags));
    if (request && !ConfigureRequest(request.get(), receiveTimeout)) {
        request.reset();
    }
    return request;
}

// Hands the callback its own reference to progress and answers the context value that
// carries it (0 when it could not be attached). Once attached, the callback owns that
// reference and releases it when the request handle closes.
DWORD_PTR AttachProgress(HINTERNET request, const ProgressRef& progress) {
    WINHTTP_STATUS_CALLBACK previous = WinHttpSetStatusCallback(
        request, OnRequestStatus,
        WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_SEND_REQUEST |
            WINHTTP_CALLBACK_FLAG_HANDLES,
        0);
    if (previous == WINHTTP_INVALID_STATUS_CALLBACK) {
        return 0;
    }
    auto reference = std::make_unique<ProgressRef>(progress);
    DWORD_PTR context = reinterpret_cast<DWORD_PTR>(reference.get());
    if (!WinHttpSetOption(request, WINHTTP_OPTION_CONTEXT_VALUE, &context, sizeof(context))) {
        return 0;
    }
    reference.release();
    return context;
}

// Waits for an asynchronous step to complete (done) or fail, at most until deadline.
template <typename Done>
ServiceStatus Await(Progress& progress, Clock::time_point deadline, Done done) {
    auto finished = [&](Progress& p) { return done(p) || p.error != 0; };
    if (!WaitUntil(progress, deadline, finished)) {
        return SS_TIMEOUT;
    }
    std::lock_guard<std::mutex> guard(progress.lock);
    return progress.error != 0 ? JudgeError(progress.error) : SS_OK;
}

Clock::time_point ComputeDeadline(uint32_t milliseconds) {
    return Clock::now() + std::chrono::milliseconds(milliseconds);
}

// Connecting and sending share the connect time-out, which ends at connectDeadline.
ServiceStatus Send(HINTERNET request, DWORD_PTR context, Progress& progress,
                   Clock::time_point connectDeadline) {
    if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                            0, context)) {
        return JudgeError(GetLastError());
    }
    return Await(progress, connectDeadline,
                 [](Progress& p) { return p.requestSent || p.sendCompleted; });
}

// The answer has the receive time-out, counted from the moment the request went out. Some
// WinHTTP implementations complete the send step only once the answer's headers are in (or
// their own time-out passed), so the send completion belongs to the answer's wait too, and
// one that comes after the deadline means that no answer came in time.
ServiceStatus AwaitAnswer(HINTERNET request, Progress& progress, uint32_t receiveTimeout) {
    Clock::time_point deadline = ComputeDeadline(receiveTimeout);
    {
        std::lock_guard<std::mutex> guard(progress.lock);
        if (progress.requestSent) {
            deadline = progress.requestSentAt + std::chrono::milliseconds(receiveTimeout);
        }
    }
    ServiceStatus status = Await(progress, deadline, [deadline](Progress& p) {
        return p.sendCompleted && p.sendCompletedAt <= deadline;
    });
    if (status != SS_OK) {
        return status;
    }
    if (!WinHttpReceiveResponse(request, nullptr)) {
        return JudgeError(GetLastError());
    }
    status = Await(progress, deadline, [](Progress& p) { return p.answered; });
    return status == SS_OK ? JudgeAnswer(request) : status;
}

// Closing the request ends whatever step is still running; the wait lets WinHTTP finish
// its notifications before the caller goes on.
void CloseRequest(unique_winhttp& request, Progress& progress) {
    request.reset();
    WaitUntil(progress, Clock::now() + kClosingWait, [](Progress& p) { return p.closing; });
}

// Where the connection goes: for a loopback server, the address the probe reached, named by
// its number, with the request's Host field written as the URI names the server, so that the
// server sees the request it would have seen. A secure server keeps its name, which its
// certificate is checked against.
struct Target {
    std::wstring server;
    std::wstring hostField; // empty: WinHTTP's own
};

Target ChooseTarget(const KaTekNet::URI_t& uri, const LoopbackRoute& route) {
    const bool secure = uri.GetScheme() == "https";
    if (route.kind != LoopbackRoute::Reached || secure || route.server == uri.GetHost().Std()) {
        return {uri.GetHost().Std(), {}};
    }
    return {route.server, L"Host: " + WriteHostField(uri.GetHost().Std(), uri.GetPort(), secure)};
}

bool SetHostField(HINTERNET request, const std::wstring& field) {
    return field.empty() ||
           WinHttpAddRequestHeaders(request, field.c_str(), static_cast<DWORD>(field.size()),
                                    WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
}

ServiceStatus PingWith(const KaLnkHttp::HttpClient& client, const KaTekNet::URI_t& uri) {
    const Clock::time_point connectDeadline = ComputeDeadline(client.GetConnectTimeout());
    const LoopbackRoute route = ProbeLoopback(uri.GetHost().Std(), uri.GetPort(), connectDeadline);
    if (route.kind == LoopbackRoute::Refused) {
        return SS_REFUSED;
    }
    if (route.kind == LoopbackRoute::TimedOut) {
        return SS_TIMEOUT;
    }
    const Target target = ChooseTarget(uri, route);
    unique_winhttp session = OpenSession(client);
    unique_winhttp connection;
    if (session) {
        connection.reset(WinHttpConnect(session.get(), target.server.c_str(), uri.GetPort(), 0));
    }
    unique_winhttp request;
    if (connection) {
        request = OpenRequest(connection.get(), uri, client.GetReceiveTimeout());
    }
    if (request && !SetHostField(request.get(), target.hostField)) {
        request.reset();
    }
    auto progress = std::make_shared<Progress>();
    DWORD_PTR context = request ? AttachProgress(request.get(), progress) : 0;
    if (context == 0) {
        return SS_FAILED;
    }
    ServiceStatus status = Send(request.get(), context, *progress, connectDeadline);
    if (status == SS_OK) {
        status = AwaitAnswer(request.get(), *progress, client.GetReceiveTimeout());
    }
    CloseRequest(request, *progress);
    return status;
}

} // namespace

ServiceStatus PingServer(const KaLnkHttp::HttpClient& client, const KaTekNet::URI_t& uri) {
    if (uri.IsEmpty()) {
        KaTekMsg::ThrowRuntime(KaTekMsg::MSG_URI, {uri.GetText()});
    }
    return PingWith(client, uri);
}

ServiceStatus PingServer(const KaTekNet::URI_t& uri) {
    return PingServer(KaLnkHttp::HttpClient::GetGlobalClient(), uri);
}

} // namespace KaLnkCb
