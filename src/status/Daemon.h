// Internal: how the control daemon shows itself, and the steps the status answers are
// built from.
#pragma once

#include "KaCtrlUtils.h"
#include "outside/Outside.h"

#include "AgentNames.h"

#include <cstdint>

namespace KaCtrl {

inline constexpr char kLocalHost[] = "://localhost";

// IsKacdActive answers whether the service manager reports the daemon's service as
// starting, running or stopping, or the daemon's mutex exists.
bool IsKacdActive();

// ReadKacdPort answers the port the daemon published in its port file, 0 when there is
// none or it cannot be read; never throws.
uint32_t ReadKacdPort();

// IsKacdRunningOnPort answers whether the daemon is active and answers a ping at the
// address that the port file names.
bool IsKacdRunningOnPort();

// BuildDaemonAddress is scheme + "://localhost", ":" and the port unless it is 0, then the
// application and server paths.
String_t BuildDaemonAddress(const char* scheme, uint32_t port);

} // namespace KaCtrl
