// The readable text of a Windows error code, as the status output shows it.
#include "frame/Export.h"

#include "SystemMessage.h"

namespace KaCtrl {

String_t GetLastErrorText(unsigned long code) {
    const std::wstring message = KaCommon::SystemMessage(code);
    if (message.empty()) {
        return String_t("N/A ");
    }
    return String_t(message) + " (" + NumToStr(code) + ")";
}

} // namespace KaCtrl
