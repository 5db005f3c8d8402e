// The readable text of a Windows error code, as the status output shows it.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"

#include "SystemMessage.h"

namespace KaCtrl {

String_t GetLastErrorText(unsigned long code) {
    const std::wstring message = KaCommon::ReadSystemMessage(code);
    if (message.empty()) {
        return String_t("N/A ");
    }
    return String_t(message) + " (" + NumToStr(code) + ")";
}

} // namespace KaCtrl
