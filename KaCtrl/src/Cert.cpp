// KaCtrl: the node's certificate state.
#include "KaCtrl.h"

#include <windows.h>

namespace KaCtrl {

bool IsCertInstalled() {
    const KaTekStr::String_t path =
        KaTekRuntime::Dir_t::Path(KaTekRuntime::DIR_KA_CONF, KaTekStr::String_t("certs/node.pem"));
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    // A directory of that name is no certificate.
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace KaCtrl
