// The address of the local daemon's server, from the certificate state and the port file.
#include "status/Daemon.h"

namespace KaCtrl {

URI_t CreateLocalURI() {
    const char* scheme = IsCertInstalled() ? "https" : "http";
    String_t address = BuildDaemonAddress(scheme, ReadKacdPort());
    URI_t uri;
    try {
        uri = URI_t(address);
    } catch (...) {
        // An address the parser refuses (a port above 65535) leaves the empty URI.
    }
    return uri;
}

} // namespace KaCtrl
