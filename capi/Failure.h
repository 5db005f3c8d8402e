// What a failed call of the C interface leaves for its thread, and the guard that keeps every
// exception on this side of the interface.
#pragma once

#include "KaCtrlUtilsC.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace KaCtrlC {

// A call refused before the library saw it: the status, its number and the text kept.
struct Refusal {
    KaCtrlStatus status;
    uint32_t number;
    std::wstring text;
};

// AllocateFailureSlot makes the slot that holds each thread's last failure, once, as the DLL
// is loaded; false when the process has no slot left. FreeFailureSlot frees it and every
// thread's failure in it, as the DLL is unloaded.
bool AllocateFailureSlot() noexcept;
void FreeFailureSlot() noexcept;

[[noreturn]] void Refuse(KaCtrlStatus status, std::wstring text, uint32_t number = 0);

// Record keeps number and text as the calling thread's last failure and answers status.
// Without memory for the text, the number is kept and the text left empty; without memory
// for the thread's record, the thread reads no failure (0 and the empty text).
KaCtrlStatus Record(KaCtrlStatus status, uint32_t number, std::wstring_view text) noexcept;

// RecordCurrentException records the exception being handled by its kind: a refusal as it
// is, a catalog message as KACTRL_CONFIG_ERROR with its number and its lines, a length past
// a bound as KACTRL_TOO_LONG, lack of memory, and any other failure as a platform error.
KaCtrlStatus RecordCurrentException() noexcept;

// Guard runs body, which answers a status, and turns whatever it throws into a status.
template <class Body> KaCtrlStatus Guard(Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return RecordCurrentException();
    }
}

} // namespace KaCtrlC
