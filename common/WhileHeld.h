// Replacing or removing a file that a reader holds open fails until the reader lets go; the
// agent's readers hold such files only to read a few bytes, so writers try again for a while.
#pragma once

#include <windows.h>

namespace KaFiles {

// RetryWhileHeld repeats action (which answers false with the thread's last-error code set
// when it fails) while it fails with ERROR_ACCESS_DENIED or ERROR_SHARING_VIOLATION, for up to
// timeoutMs; answers whether it succeeded, the last error of its last try kept.
template <typename Action> bool RetryWhileHeld(ULONGLONG timeoutMs, Action action) {
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (!action()) {
        DWORD error = ::GetLastError();
        bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
        if (!held || ::GetTickCount64() >= deadline) {
            ::SetLastError(error);
            return false;
        }
        ::Sleep(10);
    }
    return true;
}

} // namespace KaFiles
