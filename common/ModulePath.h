// The path of a loaded module's file, read without a fixed limit: a program or DLL may sit
// in a directory deeper than MAX_PATH, where a fixed buffer would cut its path.
#pragma once

#include <windows.h>

#include <string>

namespace KaCommon {

// ReadModulePath answers the full path of module's file (nullptr: the process's program), or an
// empty text when the platform cannot tell, GetLastError then saying why. The buffer grows
// until the answer fits: a cut answer fills the buffer exactly.
inline std::wstring ReadModulePath(HMODULE module) {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < path.size()) {
            path.resize(length);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

} // namespace KaCommon
