// Loading runs nothing of the library's own: every static object is constant-initialised.
// The library keeps no per-thread state, so it asks for no thread notifications. The image
// carries the static runtime's TLS directory, whose callbacks free each thread's thread-local
// data; for an image with static TLS, DisableThreadLibraryCalls leaves the notifications on,
// so that runtime keeps working, and this entry point ignores them either way.
#include "KaCtrlUtils.h"
#include "outside/Outside.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
