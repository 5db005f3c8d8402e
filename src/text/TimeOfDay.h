// Internal: the seconds field of the platform's timeval, which is 32 bits wide on Windows.
#pragma once

#include <winsock2.h> // timeval

#include <cstdint>

namespace KaCtrl {

// ToTimevalSeconds answers the low 32 bits of a 64-bit seconds count as the signed value
// timeval's tv_sec holds; from 2038-01-19 03:14:08 UTC on, that value wraps to negative.
// Worked out through unsigned arithmetic because a narrowing signed conversion of a value
// that does not fit is left to the compiler before C++20.
inline long ToTimevalSeconds(int64_t seconds) {
    const uint32_t low = static_cast<uint32_t>(static_cast<uint64_t>(seconds));
    const int64_t wrapped =
        low <= 0x7FFFFFFFu ? static_cast<int64_t>(low) : static_cast<int64_t>(low) - 0x100000000LL;
    return static_cast<long>(wrapped);
}

} // namespace KaCtrl
