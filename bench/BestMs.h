// What the benchmarks share: timing a piece of work.
#pragma once

#include <algorithm>
#include <chrono>

namespace KaBench {

// The best of a few runs, in milliseconds: the machine is shared, so the least disturbed
// run is the best estimate of the work itself.
template <typename Work> double BestMs(Work work, int runs = 5) {
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

} // namespace KaBench
