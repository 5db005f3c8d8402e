#include "HandleCount.h"

#include "Holders.h"

#include <algorithm>
#include <vector>

namespace KaTest {

HandleUse MeasureHandleUse() {
    constexpr int kBatch = 64;
    HandleUse use;
    std::vector<KaHold::unique_handle> batch;
    for (int i = 0; i < kBatch; ++i) {
        batch.emplace_back(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
        use.highestFresh =
            std::max(use.highestFresh, reinterpret_cast<uintptr_t>(batch.back().get()));
    }
    return use;
}

bool NoMoreHandles(const HandleUse& before, const HandleUse& after) {
    // Windows' own threads (the thread pool, the loader) may hold a few handles more at one
    // moment than at another; a leak in calls repeated a thousand times shows as hundreds.
    constexpr uintptr_t kSlack = 8;
    constexpr uintptr_t kHandleStep = 4;
    return after.highestFresh <= before.highestFresh + kSlack * kHandleStep;
}

} // namespace KaTest
