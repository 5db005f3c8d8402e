// The port the daemon publishes in "kacd.port" of the agent's temporary directory.
#include "status/Daemon.h"

namespace KaCtrl {

uint32_t ReadKacdPort() {
    try {
        File_t portFile(GetTmpDir() + KaAgent::kPortFileName);
        FileInputStream_t file(portFile.GetPath());
        DataInputStream_t data(file);
        uint32_t port = data.ReadUInt32();
        data.Close();
        file.Close();
        return port;
    } catch (...) {
        // A missing, short or unreadable port file means the daemon published no port.
        return 0;
    }
}

String_t BuildDaemonAddress(const char* scheme, uint32_t port) {
    String_t address(scheme);
    address += kLocalHost;
    if (port != 0) {
        address += ":";
        address += NumToStr(static_cast<unsigned long>(port));
    }
    return address + KaAgent::kPingPath;
}

} // namespace KaCtrl
