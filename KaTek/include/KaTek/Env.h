// KaTek runtime: the calling process's environment.
#pragma once

#include "KaTek/Str.h"

#include <string>

namespace KaTekEnv {

using KaTekStr::String_t;

// GetProcessEnv answers the value of name in the calling process's environment block
// (GetEnvironmentVariableW), exactly as the block holds it, whoever set it. The C runtime's
// copies are never read: a program started through main makes them once, from the ANSI code
// page, so they miss later changes and hold "?" for what that page lacks. The null text when
// no such variable is set (a name holding a NUL would name another one, so it names none); the
// empty text for a variable set to nothing. Throws RuntimeError_t naming the variable when the
// platform cannot read it.
KATEK_API String_t GetProcessEnv(const String_t& name);

// CompareEnvNames answers below, at or above 0 as left sorts before, with or after right
// among environment names, as Windows compares them: by code unit, letter case ignored, the
// locale left out ("Path" and "PATH" name one variable).
KATEK_API int CompareEnvNames(const std::wstring& left, const std::wstring& right);

} // namespace KaTekEnv
