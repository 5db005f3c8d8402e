// Internal: what the child-process environment functions share.
#pragma once

#include "KaCtrlUtils.h"
#include "outside/Outside.h"

namespace KaCtrl {

// PutProcessEnv sets name to value in the calling process's environment (an empty value
// removes the variable). An entry that cannot be one environment entry (an empty name, '='
// in the name, a NUL anywhere), a value longer than an environment variable holds, and one
// the C runtime refuses throw RuntimeError_t naming the variable.
void PutProcessEnv(const String_t& name, const String_t& value);

// IsEnvName answers whether name names the variable wanted, as the platform compares names:
// ignoring letter case, so "Path" is the variable "PATH".
bool IsEnvName(const String_t& name, const char* wanted);

// FindEnvValue answers the value that settings give the variable name (the first attribute
// whose name IsEnvName finds the same), or the null text.
String_t FindEnvValue(const Configuration_t& settings, const String_t& name);

} // namespace KaCtrl
