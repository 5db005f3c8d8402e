// The C interface keeps one thing per thread, its last failure, in a fiber-local slot made as
// the DLL is loaded. Unloaded by FreeLibrary, the DLL frees the slot, whose callback then
// frees every thread's failure; at process exit it leaves that to the end of the process,
// as other threads may have been stopped anywhere.
#include "Failure.h"

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE /*instance*/, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        return KaCtrlC::AllocateFailureSlot() ? TRUE : FALSE;
    }
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        KaCtrlC::FreeFailureSlot();
    }
    return TRUE;
}
