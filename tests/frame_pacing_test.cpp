// The pacing every backend that presents frames shares: when a handed-over
// frame is due and how long the main thread may wait for events meanwhile.
#include <gtest/gtest.h>

#include "platform/frame_slot.h"

using namespace std::chrono;

TEST(FramePacing, WaitIsUntilTheFrameIsDueWithinZeroAndTheSlice)
{
    const steady_clock::time_point shown{seconds(100)};
    const struct {
        microseconds SinceShown;   // now - last shown; a frame every 16667 us
        bool Waiting;
        int Wait;                  // expected, ms, with a slice of 10 ms
        bool Due;
    } cases[] = {
        {microseconds(99000), false, 10, true},   // nothing waits: the whole slice
        {microseconds(0), true, 10, false},       // due after the slice: the slice
        {microseconds(11000), true, 6, false},    // due in 5.667 ms: rounded up, never early
        {microseconds(16667), true, 0, true},     // due now
        {microseconds(18667), true, 0, true},     // due 2 ms ago: no wait, not a negative (endless) one
    };
    for (const auto& c : cases) {
        const auto now = shown + c.SinceShown;
        EXPECT_EQ(FrameWait(now, shown, microseconds(16667), c.Waiting, milliseconds(10)).count(), c.Wait)
            << c.SinceShown.count() << " us after the last frame, waiting " << c.Waiting;
        EXPECT_EQ(FrameDue(now, shown, microseconds(16667)), c.Due) << c.SinceShown.count() << " us";
    }
}

TEST(FramePacing, TakesOnlyTheNewestFrameAndEachOnce)
{
    FrameSlot slot;
    ShownFrame shown;
    EXPECT_FALSE(TakeFrame(&slot, &shown));
    const uint8_t first[] = {1, 2, 3, 4, 5, 6}, second[] = {7, 8, 9};
    const uint8_t* rows[] = {first, first + 3};
    PutFrame(&slot, rows, 1, 2);
    rows[0] = second;
    PutFrame(&slot, rows, 1, 1);
    EXPECT_TRUE(FrameFresh(&slot));
    const bool took = TakeFrame(&slot, &shown);
    ASSERT_TRUE(took);
    EXPECT_EQ(shown.Pixels, std::vector<uint8_t>(second, second + 3));
    EXPECT_FALSE(FrameFresh(&slot));
    EXPECT_FALSE(TakeFrame(&slot, &shown));
}
