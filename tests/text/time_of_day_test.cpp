// gettimeofday against the platform's clock, and the narrowing of the seconds count to
// timeval's 32-bit field on its own, since times after 2038 cannot be waited for.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "text/TimeOfDay.h"

#include <climits>
#include <set>

// Seconds since 1970 by the platform's own clock, not the C runtime's.
static int64_t PlatformSeconds() {
    ULARGE_INTEGER ticks; // of 100 ns since 1601
    ::GetSystemTimeAsFileTime(reinterpret_cast<FILETIME*>(&ticks));
    return static_cast<int64_t>((ticks.QuadPart - 116444736000000000ULL) / 10000000ULL);
}

TEST(TimeOfDay, FillsTheRecordWithThePlatformTimeButNotNull) {
    EXPECT_EQ(KaCtrl::gettimeofday(nullptr, nullptr), -1);
    std::set<long> microseconds;
    for (int sample = 0; sample < 20; ++sample, ::Sleep(7)) {
        const int64_t before = PlatformSeconds();
        timeval tv = {-7, -7};
        ASSERT_EQ(KaCtrl::gettimeofday(&tv, nullptr), 0);
        EXPECT_TRUE(before - 1 <= tv.tv_sec && tv.tv_sec <= PlatformSeconds() + 1) << tv.tv_sec;
        EXPECT_TRUE(tv.tv_usec >= 0 && tv.tv_usec < 1000000 && tv.tv_usec % 1000 == 0)
            << tv.tv_usec;
        microseconds.insert(tv.tv_usec);
    }
    // The sub-second part moves: it is not left at 0 or at one stale value.
    EXPECT_GT(microseconds.size(), 1u);
}

TEST(TimeOfDay, SecondsKeepTheirLow32Bits) {
    // 2038-01-19 03:14:07 is the last second that fits; one second later wraps.
    EXPECT_EQ(KaCtrl::TimevalSeconds(0x7FFFFFFF), LONG_MAX);
    EXPECT_EQ(KaCtrl::TimevalSeconds(0x80000000LL), LONG_MIN);
    EXPECT_EQ(KaCtrl::TimevalSeconds(0x100000000LL + 1700000000), 1700000000); // past 2106
    EXPECT_EQ(KaCtrl::TimevalSeconds(-1), -1); // before 1970 stays as it was
}
