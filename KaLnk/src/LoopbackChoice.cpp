// The choice of the loopback address a ping goes to.
#include "LoopbackChoice.h"

namespace KaLnkCb {

Choice ChooseAddress(const std::vector<Reach>& reaches, bool timeIsUp) {
    bool waiting = false;
    for (size_t index = 0; index < reaches.size(); ++index) {
        if (reaches[index] == Reach::Accepted) {
            return {Choice::Use, index};
        }
        if (reaches[index] == Reach::Pending) {
            if (!timeIsUp) {
                return {Choice::Wait};
            }
            waiting = true;
        }
    }
    return {waiting ? Choice::TimedOut : Choice::Refused};
}

std::wstring WriteHostField(const std::wstring& host, uint16_t port, bool secure) {
    const uint16_t defaultPort = secure ? 443 : 80;
    return port == defaultPort ? host : host + L":" + std::to_wstring(port);
}

} // namespace KaLnkCb
