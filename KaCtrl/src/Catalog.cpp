// KaCtrl: the control component's message catalog.
#include "KaCtrl.h"

namespace KaCtrl {

const KaTekMsg::MessageCatalog_t& Catalog::GetCatalog() {
    // Made on first use, so loading the library runs no code of ours; the language makes
    // that first use safe from several threads at once.
    static const KaTekMsg::MessageCatalog_t catalog(KaTekStr::String_t("KaCtrl"));
    return catalog;
}

} // namespace KaCtrl
