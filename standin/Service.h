// The stand-in as a service of the service control manager, and the commands that install,
// remove and drive that service.
#pragma once

#include "Options.h"

#include <string>

namespace Standin {

// The "service" command: hands the thread to the service control manager, which calls back
// to run the daemon until it is told to stop. Fails when not started by the manager.
Outcome RunService(const Options& options);

// Creates the service so that it starts this program with "service" and the options,
// replacing one left from an earlier run. A service KaCtrl whose program is not a stand-in
// is refused (ERROR_SERVICE_EXISTS) unless force is set.
Outcome InstallService(const Options& options, bool force);
// Stops and deletes the service, and waits until it is gone; nothing to do is success. The
// same refusal as for InstallService applies.
Outcome RemoveService(bool force);
// "start", "stop", "pause" or "continue": sends it and waits until the service is there.
Outcome DriveService(const std::wstring& command);

} // namespace Standin
