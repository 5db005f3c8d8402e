// Configured text put before or after environment values ("ctrl.env.prepend",
// "ctrl.env.append"), on top of the values "ctrl.env" or the process gives.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"
#include "frame/Trace.h"
#include "env/Environment.h"

#include "AgentNames.h"

#include <string>

namespace KaCtrl {

namespace {

// Readers of the trace know this record by the location it always had, whatever the
// layout of the sources.
constexpr const char* kTraceFile = "../Utils";
constexpr int kTraceLine = 758;

// The base comes from "ctrl.env" or else from the calling process, never from the
// command, whose own environment is a copy of the process's anyway. Either is found by
// the name as the platform compares names, letter case ignored.
String_t FindBaseValue(const String_t& name, const Configuration_t& configured) {
    String_t base = FindEnvValue(configured, name);
    // Read by the exact name: a narrow copy could read another variable, one whose name
    // has the ASCII letters of look-alikes. Read from the process's own block: the C
    // runtime's copy may miss a later change and hold "?" for what the ANSI code page lacks.
    if (base.IsEmpty()) {
        const String_t current = KaTekEnv::GetProcessEnv(name);
        if (!current.IsNull()) {
            base = current;
        }
    }
    return base;
}

// The separator goes only between two parts that are both there, and never after a part
// that already ends in one.
String_t Join(const String_t& first, const String_t& second) {
    if (first.IsNotEmpty() && second.IsNotEmpty() && first.Right(1) != ";") {
        return first + ";" + second;
    }
    return first + second;
}

} // namespace

String_t AppendEnvVariable(bool append, Command_t command) {
    const Configuration_t extensions =
        ConfigNamespace_t(append ? KaAgent::kAppendNamespace : KaAgent::kPrependNamespace).Open();
    // Read once for the whole call: every variable sees "ctrl.env" as it was when the call
    // began, without reading the settings file again for each one.
    const Configuration_t configured = ConfigNamespace_t(KaAgent::kEnvNamespace).Open();
    const int count = extensions.GetAttrCount();
    String_t result;
    for (int index = 0; index < count; ++index) {
        String_t name;
        String_t value;
        // A child's "PATH" is what "ctrl.env" sets, or the process's own; it is never
        // extended here, however its name is written ("Path" is how Windows spells it).
        if (!extensions.GetAttr(index, name, value) || IsEnvName(name, "PATH")) {
            continue;
        }
        const String_t base = FindBaseValue(name, configured);
        result = AvoidDuplicate(append ? Join(base, value) : Join(value, base));
        if (command.IsNull()) {
            PutProcessEnv(name, result);
        } else {
            command.PutEnv(name, result);
        }
    }
    TracePoint(
        1, [&result] { return String_t("Append returns ") + result; }, kTraceFile, kTraceLine);
    return result;
}

} // namespace KaCtrl
