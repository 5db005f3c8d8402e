// Loopback peers shared by the soak and net_repro: a listener on a port of its own, and the
// silent peer that accepts and never answers.
#pragma once

#include "Holders.h"

#include <atomic>
#include <cstdint>

namespace Soak {

// A socket listening on an ephemeral port of 127.0.0.1, and that port; no socket (and port 0)
// when none could be made. Winsock must be started.
KaHold::unique_socket ListenOnLoopback(uint16_t& port);

// The silent peer: listens on a loopback port, accepts and never answers, until stop; its port,
// 0 when it could not listen.
uint16_t StartSilentPeer(const std::atomic<bool>& stop);

} // namespace Soak
