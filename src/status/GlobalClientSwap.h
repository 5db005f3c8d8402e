// Internal: the process-wide HTTP client, replaced for the length of one ping.
#pragma once

#include "KaLnk.h"

#include <mutex>

namespace KaCtrl {

// GlobalClientSwap makes a temporary client the process-wide one for one ping and puts the
// previous one back however the ping ends, by return or by exception. Swaps are
// serialised, so that a ping always goes out with its own client and concurrent callers
// restore the client they found.
class GlobalClientSwap {
public:
    explicit GlobalClientSwap(const KaLnkHttp::HttpClient& temporary)
        : lock_(SwapMutex()), previous_(KaLnkHttp::HttpClient::GetGlobalClient()) {
        KaLnkHttp::HttpClient::SetGlobalClient(temporary);
    }
    ~GlobalClientSwap() { KaLnkHttp::HttpClient::SetGlobalClient(previous_); }
    GlobalClientSwap(const GlobalClientSwap&) = delete;
    GlobalClientSwap& operator=(const GlobalClientSwap&) = delete;

private:
    static std::mutex& SwapMutex() {
        static std::mutex mutex; // constant-initialised: nothing runs at load time
        return mutex;
    }

    std::lock_guard<std::mutex> lock_;
    KaLnkHttp::HttpClient previous_;
};

} // namespace KaCtrl
