// KaTek runtime, private: the process environment as the runtime reads it.
#pragma once

#include <string>

namespace KaTekEnv {

// The variable's value in the process environment block (GetProcessEnv), or the empty text
// when it is unset or set to nothing: the runtime treats both alike, so that clearing a
// variable restores its default.
std::wstring ReadVariable(const wchar_t* name);

} // namespace KaTekEnv
