// Handle-leak checks. Wine answers GetProcessHandleCount with 0, but it gives each new
// handle the lowest free slot, so handles leaked by the calls under test push a batch of
// handles created afterwards to higher values. (One fresh handle is not enough: it may get
// the slot that the call under test took first and closed last, below what it leaked.)
#pragma once

#include <windows.h>

#include <cstdint>

namespace KaTest {

struct HandleUse {
    uintptr_t highestFresh = 0; // the highest value among a batch of new event handles
};

HandleUse MeasureHandleUse();

// True when after shows no more handles in use than before, give or take the few the
// platform's own threads come and go with.
bool NoMoreHandles(const HandleUse& before, const HandleUse& after);

} // namespace KaTest
