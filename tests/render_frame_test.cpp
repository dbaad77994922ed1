// One frame: rounding of block corners, the strict clipping, paint order,
// and positions far outside the raster or not finite at all.
#include <limits>

#include "tests/test_util.h"

TEST_F(CoreTest, FramePaintsBlocksRoundedAndClippedInsideTheBorder)
{
    constexpr Bgr R = {0, 0, 200}, G = {0, 180, 0}, B = {190, 0, 0}, Mark = {7, 77, 177};
    constexpr int32_t L = 266, Z = 149;  // last column and row
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const double two32 = 4294967296.0;
    struct Paint {
        int32_t Left, Top, Right, Bottom;
        Bgr Colour;
    };
    const struct { const char* what; std::vector<Block> blocks; std::vector<Paint> want; } cases[] = {
        {"ties to even", {BlockAt(10.5, 20.5, 0, R), BlockAt(11.5, 21.5, 0, G), BlockAt(40.49, 30.51, 1, B)},
         {{10, 20, 10, 20, R}, {12, 22, 12, 22, G}, {40, 31, 41, 32, B}}},
        {"0.5 rounds to the border, 1.5 inside", {BlockAt(0.5, 5, 0, R), BlockAt(5, 0.5, 0, R), BlockAt(1.5, 5, 0, G)},
         {{2, 5, 2, 5, G}}},
        {"the border stays free", {BlockAt(5, 0, 0, R), BlockAt(0, 5, 0, R), BlockAt(5, Z, 0, R), BlockAt(L, 5, 0, R),
                                   BlockAt(1, 1, 0, G), BlockAt(5, Z - 1, 0, G), BlockAt(L - 1, 5, 0, G)},
         {{1, 1, 1, 1, G}, {5, Z - 1, 5, Z - 1, G}, {L - 1, 5, L - 1, 5, G}}},
        {"over the corners", {BlockAt(-2, -2, 4, B), BlockAt(L - 3, Z - 3, 4, B)},
         {{1, 1, 2, 2, B}, {L - 3, Z - 3, L - 1, Z - 1, B}}},
        {"later over earlier", {BlockAt(10, 10, 4, R), BlockAt(12, 13, 4, G), BlockAt(10, 10, 1, B)},
         {{10, 10, 14, 14, R}, {12, 13, 16, 17, G}, {10, 10, 11, 11, B}}},
        {"far away", {BlockAt(1e12, 1e12, 3, R), BlockAt(-1e12, 20, 3, R), BlockAt(-40, -40, 20, R),
                      BlockAt(2147483647.0, 10, 5, R), BlockAt(10, 2147483646.0, 5, R), BlockAt(-2147483648.0, 10, 5, R),
                      BlockAt(two32 + 2147483648.0, 20, 2, R)}, {}},
        {"corners past 32 bits keep their low half, past 64 bits are 0",
         {BlockAt(two32 + 10, two32 * 3 + 20, 2, G), BlockAt(1e30, 40, 2, B)}, {{10, 20, 12, 22, G}, {1, 40, 2, 42, B}}},
        {"not a number is 0", {BlockAt(nan, 30, 3, R), BlockAt(30, nan, 3, G), BlockAt(inf, -inf, 3, B)},
         {{1, 30, 3, 33, R}, {30, 1, 33, 3, G}, {1, 1, 3, 3, B}}},
    };
    for (const auto& c : cases) {
        std::vector<Bgr> want(size_t(RasterWidth) * RasterHeight, Bgr{255, 255, 255});
        for (int32_t y = 0; y < RasterHeight; ++y)
            for (int32_t x = 0; x < RasterWidth; ++x) {
                const Bgr old = x == 0 ? Mark : Bgr{uint8_t(x), uint8_t(y), 3};  // a leftover picture
                std::memcpy(RowTable[y] + x * 3, &old, 3);
                want[size_t(y) * RasterWidth] = Mark;
            }
        for (const Paint& p : c.want)
            for (int32_t y = p.Top; y <= p.Bottom; ++y)
                for (int32_t x = p.Left; x <= p.Right; ++x)
                    want[size_t(y) * RasterWidth + x] = p.Colour;
        BlockList = c.blocks;
        RenderFrame();
        EXPECT_EQ(0, std::memcmp(Pixels().data(), want.data(), want.size() * 3)) << c.what;
        EXPECT_TRUE(Headless.LastFrame == Pixels()) << c.what << ": presented as rendered";
    }
    EXPECT_EQ(Headless.Presents, 8);
}
