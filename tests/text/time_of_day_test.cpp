// gettimeofday against the platform's clock, and the narrowing of the seconds count to
// timeval's 32-bit field on its own, since times after 2038 cannot be waited for.
#include <gtest/gtest.h>

#include "KaCtrlUtils.h"
#include "Sandbox.h"
#include "text/TimeOfDay.h"

#include <climits>
#include <cstdint>
#include <set>

namespace {

// Seconds since 1970 by the platform's own clock, not the C runtime's.
int64_t PlatformSeconds() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    const uint64_t ticks = (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const uint64_t ticksFrom1601To1970 = 116444736000000000ULL;
    return static_cast<int64_t>((ticks - ticksFrom1601To1970) / 10000000ULL);
}

} // namespace

TEST(TimeOfDay, NullRecordIsRefused) {
    EXPECT_EQ(KaCtrl::gettimeofday(nullptr, nullptr), -1);
    int zone = 12345;
    EXPECT_EQ(KaCtrl::gettimeofday(nullptr, &zone), -1);
    EXPECT_EQ(zone, 12345);
}

TEST(TimeOfDay, FillsTheRecordWithThePlatformTime) {
    std::set<long> microseconds;
    for (int sample = 0; sample < 50; ++sample) {
        const int64_t before = PlatformSeconds();
        timeval tv = {-7, -7};
        // The zone argument is never touched, whatever it points at.
        int zone = 12345;
        ASSERT_EQ(KaCtrl::gettimeofday(&tv, &zone), 0);
        const int64_t after = PlatformSeconds();
        EXPECT_EQ(zone, 12345);
        EXPECT_GE(tv.tv_sec, before - 1);
        EXPECT_LE(tv.tv_sec, after + 1);
        EXPECT_GE(tv.tv_usec, 0);
        EXPECT_LT(tv.tv_usec, 1000000);
        EXPECT_EQ(tv.tv_usec % 1000, 0) << tv.tv_usec;
        microseconds.insert(tv.tv_usec);
        ::Sleep(3);
    }
    // The sub-second part moves: it is not left at 0 or at one stale value.
    EXPECT_GT(microseconds.size(), 1u);
}

TEST(TimeOfDay, SecondsKeepTheirLow32Bits) {
    struct Row {
        int64_t seconds;
        long expected;
    };
    const Row rows[] = {
        {0, 0},
        {1700000000, 1700000000}, // 2023-11-14
        {0x7FFFFFFF, LONG_MAX},   // 2038-01-19 03:14:07, the last that fits
        {0x80000000LL, LONG_MIN}, // one second later
        {0x80000001LL, LONG_MIN + 1},
        {4102444800LL, 4102444800LL - 0x100000000LL}, // 2100-01-01
        {0xFFFFFFFFLL, -1},
        {0x100000000LL, 0}, // 2106-02-07 06:28:16
        {0x100000000LL + 1700000000, 1700000000},
        {-1, -1}, // before 1970 stays as it was
    };
    for (const Row& row : rows) {
        EXPECT_EQ(KaCtrl::TimevalSeconds(row.seconds), row.expected) << row.seconds;
    }
}
