// The calling process's own environment, for callers that give no command.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"
#include "env/Environment.h"

#include <stdlib.h>

#include <string>

namespace KaCtrl {

namespace {

[[noreturn]] void Refuse(const String_t& name, const std::string& reason) {
    KaTekMsg::ThrowRuntime(KaTekMsg::MSG_ENV_VARIABLE, {name, String_t(reason.c_str())});
}

} // namespace

bool IsEnvName(const String_t& name, const char* wanted) {
    return KaTekEnv::CompareEnvNames(name.Std(), String_t(wanted).Std()) == 0;
}

String_t FindEnvValue(const Configuration_t& settings, const String_t& name) {
    String_t attribute;
    String_t value;
    for (int index = 0; settings.GetAttr(index, attribute, value); ++index) {
        if (KaTekEnv::CompareEnvNames(attribute.Std(), name.Std()) == 0) {
            return value;
        }
    }
    return String_t::Null();
}

void PutProcessEnv(const String_t& name, const String_t& value) {
    // The wide call takes the text exactly (the C runtime keeps its narrow view in step and
    // copies the entry, so nothing here outlives the call). A NUL would cut the entry short
    // and an '=' in the name would move its border, so such an entry is refused aloud.
    KaTekCmd::CheckEnvVariable(name, value);
    // The C runtime holds a value of _MAX_ENV units with its NUL at most, and cuts a longer
    // one short or refuses it, depending on the runtime, without a word either way.
    if (value.GetLength() >= _MAX_ENV) {
        Refuse(name, "its value is longer than the " + std::to_string(_MAX_ENV - 1) +
                         " characters an environment variable holds");
    }
    const errno_t refused = _wputenv_s(name.c_str(), value.c_str());
    if (refused != 0) {
        Refuse(name, "the C runtime refused it (errno " + std::to_string(refused) + ")");
    }
}

} // namespace KaCtrl
