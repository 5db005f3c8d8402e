// The HTTP client settings and the process-wide client.
#include "KaLnk.h"

#include <algorithm>
#include <mutex>
#include <string>

namespace KaLnkHttp {

using KaTekStr::String_t;

struct HttpClient::Impl {
    uint32_t connectTimeout;
    uint32_t receiveTimeout;
    String_t userAgent;
};

namespace {

constexpr uint32_t kDefaultTimeout = 3000;
constexpr uint32_t kLongestTimeout = 60000;
// More digits than this cannot be a value up to kLongestTimeout, and would overflow.
constexpr size_t kMostDigits = 5;

// A settings file keeps blanks after '=' as written ("KEY = 2000"), so they are not taken
// as part of the number; anything else that is not a decimal digit makes the value invalid.
uint32_t ParseMilliseconds(const KaTekArray::CharArray_t& value, uint32_t fallback) {
    const char* text = value.GetData();
    if (text == nullptr) {
        return fallback;
    }
    std::string digits(text);
    const auto blank = [](char c) {
        return KaTekConfig::IsSettingsBlank(static_cast<unsigned char>(c));
    };
    digits.erase(digits.begin(), std::find_if_not(digits.begin(), digits.end(), blank));
    while (!digits.empty() && blank(digits.back())) {
        digits.pop_back();
    }
    if (digits.empty() || digits.size() > kMostDigits ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return fallback;
    }
    uint32_t number = static_cast<uint32_t>(std::stoul(digits));
    return number >= 1 && number <= kLongestTimeout ? number : fallback;
}

String_t MakeUserAgent(const KaTekConfig::Configuration_t& configuration) {
    String_t name = configuration.GetAttrValue("APP_NAME");
    String_t version = configuration.GetAttrValue("APP_VERSION");
    if (name.IsEmpty()) {
        return String_t("KaLnk/1.0");
    }
    return version.IsEmpty() ? name : name + "/" + version;
}

// The process-wide client and its lock, made on first use so that loading the DLL runs
// nothing and no caller can see the client before it is constructed.
struct GlobalClient {
    std::mutex lock;
    HttpClient client;
};

GlobalClient& Global() {
    static GlobalClient global;
    return global;
}

} // namespace

HttpClient::HttpClient() : HttpClient(KaTekConfig::Configuration_t()) {}

HttpClient::HttpClient(const KaTekConfig::Configuration_t& configuration)
    : impl_(std::make_shared<const Impl>(
          Impl{ParseMilliseconds(configuration.GetAttrValue("CONNECT_TIMEOUT"), kDefaultTimeout),
               ParseMilliseconds(configuration.GetAttrValue("RECEIVE_TIMEOUT"), kDefaultTimeout),
               MakeUserAgent(configuration)})) {}

uint32_t HttpClient::GetConnectTimeout() const {
    return impl_->connectTimeout;
}

uint32_t HttpClient::GetReceiveTimeout() const {
    return impl_->receiveTimeout;
}

String_t HttpClient::GetUserAgent() const {
    return impl_->userAgent;
}

HttpClient HttpClient::GetGlobalClient() {
    GlobalClient& global = Global();
    std::lock_guard<std::mutex> guard(global.lock);
    return global.client;
}

void HttpClient::SetGlobalClient(const HttpClient& client) {
    GlobalClient& global = Global();
    std::lock_guard<std::mutex> guard(global.lock);
    global.client = client;
}

} // namespace KaLnkHttp
