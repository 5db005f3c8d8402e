// KaTek runtime: reading the process environment.
#include "KaTek/Env.h"
#include "KaTek/Msg.h"

#include "Env.h"
#include "SizedRead.h"

#include <windows.h>

namespace KaTekEnv {

String_t GetProcessEnv(const String_t& name) {
    if (name.Std().find(L'\0') != std::wstring::npos) {
        return String_t::Null();
    }
    std::wstring value;
    const DWORD error = KaTekSys::ReadSized(
        [&name](wchar_t* buffer, DWORD capacity) {
            return ::GetEnvironmentVariableW(name.c_str(), buffer, capacity);
        },
        value);
    if (error == ERROR_ENVVAR_NOT_FOUND) {
        return String_t::Null();
    }
    if (error != ERROR_SUCCESS) {
        KaTekMsg::ThrowRuntime(KaTekMsg::MSG_ENV_VARIABLE,
                               {name, KaTekMsg::SystemErrorText(error)});
    }
    return String_t(value);
}

int CompareEnvNames(const std::wstring& left, const std::wstring& right) {
    return ::CompareStringOrdinal(left.c_str(), static_cast<int>(left.size()), right.c_str(),
                                  static_cast<int>(right.size()), TRUE) -
           CSTR_EQUAL;
}

std::wstring ReadVariable(const wchar_t* name) {
    return GetProcessEnv(String_t(name)).Std();
}

} // namespace KaTekEnv
