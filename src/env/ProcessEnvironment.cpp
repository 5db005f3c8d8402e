// The calling process's own environment, for callers that give no command.
#include "frame/Export.h"
#include "env/Environment.h"

#include <stdlib.h>

namespace KaCtrl {

void PutProcessEnv(const String_t& name, const String_t& value) {
    // The C runtime copies the entry into its own environment (and the platform's), so
    // the narrow text may go when this returns; keeping it would lose memory on every call.
    MBS_t entry(name + "=" + value, KaTekStr::ENC_ANSI);
    _putenv(entry);
}

} // namespace KaCtrl
