// Loading runs nothing of the library's own: every static object is constant-initialised.
// The library keeps no per-thread state, so thread notifications are switched off.
#include "frame/Export.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
