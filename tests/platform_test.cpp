// What every window backend shares: when a handed-over frame is due, how long the main thread may
// wait for events meanwhile, the frame slot, and the exact scaler.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "platform/frame_slot.h"
#include "platform/scaler.h"

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
    ASSERT_TRUE(TakeFrame(&slot, &shown));
    EXPECT_EQ(shown.Pixels, std::vector<uint8_t>(second, second + 3));
    EXPECT_FALSE(TakeFrame(&slot, &shown));
}

// A w x h raster, byte c (blue, green, red) of pixel (x, y) channel(x, y, c), scaled onto W x H
// pixels in layout (8 bytes more than a row between rows); the screen's pixels, row by row. Screen
// column X shows raster column floor(X * w / W), row Y raster row floor(Y * h / H).
static std::vector<uint32_t> Scale(ScaleTables* tables, int32_t w, int32_t h, int32_t W, int32_t H,
                                   const PixelLayout& layout, uint8_t (*channel)(int32_t x, int32_t y, int c))
{
    std::vector<std::vector<uint8_t>> raster(size_t(h), std::vector<uint8_t>(size_t(w) * 3));
    std::vector<const uint8_t*> rows;
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w * 3; ++x)
            raster[size_t(y)][size_t(x)] = channel(x / 3, y, x % 3);
        rows.push_back(raster[size_t(y)].data());
    }
    const int32_t pitch = W * layout.BytesPerPixel + 8;
    std::vector<uint8_t> screen(size_t(pitch) * size_t(H));
    PrepareScaleTables(tables, w, h, W, H);
    ScaleRaster(tables, rows.data(), layout, screen.data(), pitch);
    std::vector<uint32_t> pixels;
    for (int32_t Y = 0; Y < H; ++Y)
        for (int32_t X = 0; X < W; ++X) {
            uint32_t p = 0;
            std::memcpy(&p, &screen[size_t(Y * pitch + X * layout.BytesPerPixel)], size_t(layout.BytesPerPixel));
            pixels.push_back(p);
        }
    return pixels;
}

TEST(Scaler, EveryScreenPixelShowsTheRasterPixelItsRuleNames)
{
    // Up, down, odd ratios, one row, one column; one set of tables remade for each.
    const struct { int32_t w, h, W, H; } cases[] = {
        {200, 150, 640, 480}, {200, 150, 640, 479}, {200, 150, 150, 100}, {267, 150, 1366, 768}, {7, 5, 13, 11},
        {533, 150, 1920, 1}, {1, 150, 1, 1080}, {200, 1, 3, 7}, {3, 2, 1, 1}};
    const PixelLayout xrgb = LayoutFromMasks(0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    ScaleTables tables;
    for (const auto& c : cases) {
        const auto distinct = [](int32_t x, int32_t y, int ch) { return uint8_t(ch == 0 ? x : ch == 1 ? y : x >> 8); };
        const std::vector<uint32_t> got = Scale(&tables, c.w, c.h, c.W, c.H, xrgb, distinct);
        size_t i = 0;   // the first wrong pixel's index, if any
        for (; i < got.size(); ++i) {
            const int64_t X = int64_t(i) % c.W, Y = int64_t(i) / c.W, x = X * c.w / c.W, y = Y * c.h / c.H;
            if (got[i] != (0xFF000000u | uint32_t(x >> 8) << 16 | uint32_t(y) << 8 | uint32_t(x & 255)))
                break;
        }
        EXPECT_EQ(i, got.size()) << c.w << "x" << c.h << " on " << c.W << "x" << c.H << ": pixel " << i << " wrong";
    }
}

TEST(Scaler, ChannelsLandWhereTheScreensMasksSay)
{
    // (red, green, blue) = (0x12, 0x80, 0xFF): cut to fewer bits, widened by repeating the top bits.
    const struct { const char* What; uint32_t Red, Green, Blue; int Depth, Bits; uint32_t Pixel; } cases[] = {
        {"depth 24", 0xFF0000, 0xFF00, 0xFF, 24, 32, 0x001280FF},
        {"ARGB, opaque", 0xFF0000, 0xFF00, 0xFF, 32, 32, 0xFF1280FF},
        {"blue high", 0xFF, 0xFF00, 0xFF0000, 24, 32, 0x00FF8012},
        {"5-6-5", 0xF800, 0x7E0, 0x1F, 16, 16, 0x141F},
        {"10 bits a channel", 0x3FF00000, 0xFFC00, 0x3FF, 30, 32, 0x04880BFF},
    };
    ScaleTables tables;
    for (const auto& c : cases) {
        const PixelLayout layout = LayoutOfImage(c.Red, c.Green, c.Blue, c.Depth, c.Bits);
        const auto colour = [](int32_t, int32_t, int ch) { return uint8_t(ch == 0 ? 0xFF : ch == 1 ? 0x80 : 0x12); };
        EXPECT_EQ(Scale(&tables, 2, 2, 3, 3, layout, colour), std::vector<uint32_t>(9, c.Pixel)) << c.What;
    }
}
