// The generator, rounding, and the pause that ends on a stop.
#include <limits>

#include "common/round.h"
#include "tests/test_util.h"

TEST(Random, KnownSequenceAndRange)
{
    RandSeed = 0;
    for (uint32_t want : {0u, 6u, 189u, 44u})
        EXPECT_EQ(Random(want ? 220 : 32), want);
    bool top = false;
    for (int i = 0; i < 10000; ++i)
        top |= Random(220) == 219;
    EXPECT_TRUE(top);
    EXPECT_EQ(Random(0), 0u);
    Randomize();
    EXPECT_LT(RandSeed, 86400000u) << "milliseconds of one day";
}

TEST(Round, TiesToEvenAndDefinedOutsideRange)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct { double in; int32_t out; } cases[] = {
        {10.5, 10}, {11.5, 12}, {-0.5, 0}, {-1.5, -2}, {2.4999, 2}, {2147483647.0, 2147483647},
        {2147483648.0, int32_t(0x80000000u)}, {4294967297.0, 1}, {nan, 0}, {inf, 0}, {-inf, 0}, {-1e19, 0}};
    for (const auto& c : cases)
        EXPECT_EQ(Round(c.in), c.out) << "Round(" << c.in << ")";
}

TEST(Pause, SleepsItsLengthAndEndsWithinASliceOfAStop)
{
    HeadlessReset();
    Running.store(true);
    EXPECT_TRUE(Pause(1003));
    EXPECT_EQ(Headless.Slept, 1003);
    Headless.OnSleep = [] {
        if (Headless.Slept >= 1250)
            RequestStop();
    };
    EXPECT_FALSE(Pause(1000));
    EXPECT_EQ(Headless.Slept, 1253);
    EXPECT_FALSE(Pause(10)) << "a stop already made";
    EXPECT_EQ(Headless.Slept, 1253);
    HeadlessReset();
}
