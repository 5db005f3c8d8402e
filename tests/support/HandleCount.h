// Handle-leak checks. Wine answers GetProcessHandleCount with 0, but it gives each new
// handle the lowest free slot, so handles leaked by the calls under test push a batch of
// handles created afterwards to higher values. (One fresh handle is not enough: it may get
// the slot that the call under test took first and closed last, below what it leaked.)
#pragma once

#include "Holders.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace KaTest {

// HighestFreshHandle answers the highest value among a batch of 64 new event handles, which
// it closes again.
inline uintptr_t HighestFreshHandle() {
    std::vector<KaHold::unique_handle> batch;
    uintptr_t highest = 0;
    for (int i = 0; i < 64; ++i) {
        batch.emplace_back(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        highest = std::max(highest, reinterpret_cast<uintptr_t>(batch.back().get()));
    }
    return highest;
}

// NoMoreHandlesThan answers whether no more handles are in use now than when
// HighestFreshHandle answered before. Windows' own threads (the thread pool, the loader) may
// hold a few more at one moment than at another: up to 8 handles, 4 apart, are let pass; a
// leak in calls repeated a thousand times shows as hundreds.
inline bool NoMoreHandlesThan(uintptr_t before) {
    return HighestFreshHandle() <= before + 8 * 4;
}

} // namespace KaTest
