// KaTek runtime, private: reading the process environment.
#include "Env.h"

#include <windows.h>

namespace KaTekEnv {

std::wstring ReadVariable(const wchar_t* name) {
    // Another thread may lengthen the value between the calls, so the size is asked again
    // until the value fits; a few rounds settle any real race.
    std::wstring value;
    for (int round = 0; round < 4; ++round) {
        const DWORD capacity = static_cast<DWORD>(value.size());
        const DWORD needed =
            GetEnvironmentVariableW(name, capacity == 0 ? nullptr : &value[0], capacity);
        if (needed == 0) {
            return std::wstring();
        }
        if (needed < capacity) {
            value.resize(needed);
            return value;
        }
        value.assign(needed, L'\0');
    }
    return std::wstring();
}

} // namespace KaTekEnv
