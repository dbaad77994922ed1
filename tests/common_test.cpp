// The generator, rounding and the pause that wakes on a stop.
#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

#include <gtest/gtest.h>

#include "common/random.h"
#include "common/round.h"
#include "common/state.h"

TEST(Random, KnownSequenceFromSeedZero)
{
    RandSeed = 0;
    EXPECT_EQ(Random(32), 0u);
    EXPECT_EQ(Random(220), 6u);
    EXPECT_EQ(Random(220), 189u);
    EXPECT_EQ(Random(220), 44u);
}

TEST(Random, StaysBelowNAndReachesItsTop)
{
    RandSeed = 12345;
    bool sawTop = false;
    for (int i = 0; i < 10000; ++i) {
        const uint32_t v = Random(220);
        ASSERT_LT(v, 220u);
        sawTop |= v == 219;
    }
    EXPECT_TRUE(sawTop);
    EXPECT_EQ(Random(0), 0u);
}

TEST(Random, SeedIsMillisecondsSinceMidnight)
{
    EXPECT_EQ(SeedFromTime(0, 0, 0, 0), 0u);
    EXPECT_EQ(SeedFromTime(0, 0, 1, 5), 1005u);
    EXPECT_EQ(SeedFromTime(23, 59, 59, 999), 86399999u);
    Randomize();
    EXPECT_LT(RandSeed, 86400000u);
}

TEST(Round, TiesToEvenAndDefinedOutsideRange)
{
    const struct { double in; int32_t out; } cases[] = {
        {10.5, 10}, {11.5, 12}, {-0.5, 0}, {-1.5, -2}, {2.4999, 2}, {187.5, 188},
        {2147483647.0, 2147483647}, {2147483648.0, int32_t(0x80000000u)},  // wraps like the low half
        {4294967297.0, 1},
        {std::numeric_limits<double>::quiet_NaN(), 0},
        {std::numeric_limits<double>::infinity(), 0},
        {-std::numeric_limits<double>::infinity(), 0},
        {1e300, 0}, {-1e19, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Round(c.in), c.out) << "Round(" << c.in << ")";
}

TEST(Pause, FullLengthWhileRunningAndCutShortByAStop)
{
    using namespace std::chrono;
    Running.store(true);
    PausePercent.store(100);
    auto t0 = steady_clock::now();
    EXPECT_TRUE(Pause(30));
    EXPECT_GE(steady_clock::now() - t0, milliseconds(30));

    std::thread stopper([] {
        std::this_thread::sleep_for(milliseconds(20));
        RequestStop();
    });
    t0 = steady_clock::now();
    EXPECT_FALSE(Pause(5000));
    stopper.join();
    EXPECT_LT(steady_clock::now() - t0, milliseconds(2000)) << "a stop must not wait out the pause";
    EXPECT_FALSE(Animating.load());
    EXPECT_FALSE(Running.load());
}
