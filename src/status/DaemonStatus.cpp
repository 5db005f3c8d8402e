// Whether the control daemon is active and its server answers, as a bool or a status code.
#include "status/Daemon.h"

namespace KaCtrl {

namespace {

using KaLnkHttp::HttpClient;

// Status codes of GetKacdStatus.
constexpr int kAnswersEverywhere = 0;
constexpr int kAnswersOnPortOnly = 61;
constexpr int kNoAnswerOnPort = 62;
constexpr int kNotActive = 63;

// Ping answers whether the server at address answers a ping sent through a client of this
// call's own, made from "lnk.http" in the control tool's name. That client is never made the
// process-wide one: other threads keep seeing the client they set, and concurrent calls
// share nothing, so none waits for another's pings. Throws what the URI, the configuration
// or the ping throws.
bool Ping(const String_t& address) {
    URI_t uri(address);
    Configuration_t configuration = ConfigNamespace_t(KaAgent::kHttpNamespace).Open();
    configuration.SetAttrValue("APP_NAME", KaAgent::kCallerName);
    configuration.SetAttrValue("APP_VERSION", KaAgent::kCallerVersion);
    return KaLnkCb::PingServer(HttpClient(configuration), uri) == KaLnkCb::SS_OK;
}

} // namespace

bool IsKacdRunningOnPort() {
    if (!IsKacdActive()) {
        return false;
    }
    return Ping(BuildDaemonAddress("http", ReadKacdPort()));
}

bool IsKacdRunning() {
    if (!IsKacdActive()) {
        return false;
    }
    return Ping(BuildDaemonAddress("http", 0));
}

int GetKacdStatus() {
    if (!IsKacdActive()) {
        return kNotActive;
    }
    bool answersAtDefault = IsKacdRunning();
    bool answersAtPort = IsKacdRunningOnPort();
    if (!answersAtPort) {
        return kNoAnswerOnPort;
    }
    return answersAtDefault ? kAnswersEverywhere : kAnswersOnPortOnly;
}

} // namespace KaCtrl
