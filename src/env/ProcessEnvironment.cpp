// The calling process's own environment, for callers that give no command.
#include "frame/Export.h"
#include "env/Environment.h"

#include <stdlib.h>

namespace KaCtrl {

void PutProcessEnv(const String_t& name, const String_t& value) {
    // The wide call takes the text exactly (the C runtime keeps its narrow view in step and
    // copies the entry, so nothing here outlives the call). A NUL would cut the entry short
    // and an '=' in the name would move its border, so such an entry is refused aloud.
    KaTekCmd::CheckEnvVariable(name, value);
    _wputenv_s(name.c_str(), value.c_str());
}

} // namespace KaCtrl
