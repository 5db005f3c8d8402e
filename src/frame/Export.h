// Internal: what every source of the library includes first. The public header carries
// the export macro; building with KACTRLUTILS_BUILD turns it into dllexport, so only the
// functions declared there leave the DLL.
#pragma once

#include "KaCtrlUtils.h"
#include "outside/Outside.h"
