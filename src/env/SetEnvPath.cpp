// The configured environment of a child command, or of the calling process itself.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"
#include "env/Environment.h"

#include "AgentNames.h"

#include <clocale>
#include <string>

namespace KaCtrl {

namespace {

// A process reads no "LANG" variable of its own: for it the setting names its locale.
void ApplyToProcess(const String_t& name, const String_t& value) {
    if (IsEnvName(name, "LANG")) {
        // A locale name the runtime does not know leaves the locale as it was; one cut short
        // by a NUL would name another locale, so it is not given at all.
        if (value.Std().find(L'\0') == std::wstring::npos) {
            _wsetlocale(LC_ALL, value.c_str());
        }
        return;
    }
    PutProcessEnv(name, value);
}

} // namespace

void SetEnvPath(Command_t command) {
    const Configuration_t settings = ConfigNamespace_t(KaAgent::kEnvNamespace).Open();
    const int count = settings.GetAttrCount();
    for (int index = 0; index < count; ++index) {
        String_t name;
        String_t value;
        if (!settings.GetAttr(index, name, value)) {
            continue;
        }
        if (command.IsNull()) {
            ApplyToProcess(name, value);
        } else {
            command.PutEnv(name, value);
        }
    }
}

} // namespace KaCtrl
