// One frame: rounding of block corners, the strict clipping, paint order, and
// positions far outside the raster or not finite at all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "animation/animation.h"
#include "platform/headless/headless.h"
#include "scene/scene.h"

namespace {

constexpr Bgr Red = {0, 0, 200};
constexpr Bgr Green = {0, 180, 0};
constexpr Bgr Blue = {190, 0, 0};
constexpr Bgr Column0 = {7, 77, 177};   // marks column 0, which a frame must leave alone

// A square block of side size + 1 whose top-left corner, before rounding,
// is (left, top).
Block BlockAt(double left, double top, int32_t size, Bgr colour)
{
    Block b{};
    b.SizeX = b.SizeY = size;
    b.Half = double(size) / 2.0;
    b.X = left + b.Half;
    b.Y = top + b.Half;
    b.Mass = uint32_t(size + 1) * uint32_t(size + 1);
    b.Colour = colour;
    return b;
}

// An inclusive area of pixels expected in one colour.
struct Paint {
    int32_t Left, Top, Right, Bottom;
    Bgr Colour;
};

class RenderFrameTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(CreateRaster(1920, 1080, &error)) << error;
        ASSERT_EQ(RasterWidth, 267);
        BlockList.clear();
        HeadlessReset();
    }
    void TearDown() override
    {
        BlockList.clear();
        ReleaseRaster();
    }

    // Renders blocks over a raster whose columns 1.. hold a leftover picture
    // and whose column 0 holds a marker, then compares every pixel with white,
    // the marker in column 0, and the expected areas painted in order.
    void Check(const std::vector<Block>& blocks, const std::vector<Paint>& paints, const char* what)
    {
        SCOPED_TRACE(what);
        for (int32_t y = 0; y < RasterHeight; ++y)
            for (int32_t x = 0; x < RasterWidth; ++x) {
                const Bgr c = x == 0 ? Column0 : Bgr{uint8_t(x), uint8_t(y), 3};
                RowTable[y][x * 3] = c.Blue;
                RowTable[y][x * 3 + 1] = c.Green;
                RowTable[y][x * 3 + 2] = c.Red;
            }
        std::vector<Bgr> want(size_t(RasterWidth) * RasterHeight, Bgr{255, 255, 255});
        for (int32_t y = 0; y < RasterHeight; ++y)
            want[size_t(y) * RasterWidth] = Column0;
        for (const Paint& p : paints)
            for (int32_t y = p.Top; y <= p.Bottom; ++y)
                for (int32_t x = p.Left; x <= p.Right; ++x)
                    want[size_t(y) * RasterWidth + x] = p.Colour;

        BlockList = blocks;
        const int presentsBefore = Headless.Presents;
        RenderFrame();

        int wrong = 0;
        for (int32_t y = 0; y < RasterHeight; ++y)
            for (int32_t x = 0; x < RasterWidth; ++x) {
                const uint8_t* got = RowTable[y] + x * 3;
                const Bgr& w = want[size_t(y) * RasterWidth + x];
                if (got[0] == w.Blue && got[1] == w.Green && got[2] == w.Red)
                    continue;
                if (++wrong <= 8)
                    ADD_FAILURE() << "pixel (" << x << ", " << y << "): got bgr(" << int(got[0]) << ","
                                  << int(got[1]) << "," << int(got[2]) << ") expected bgr(" << int(w.Blue) << ","
                                  << int(w.Green) << "," << int(w.Red) << ")";
            }
        EXPECT_EQ(wrong, 0) << "pixels differing from the expected frame";

        // The frame reaches the platform exactly once, as rendered.
        std::lock_guard<std::mutex> lock(Headless.Lock);
        EXPECT_EQ(Headless.Presents, presentsBefore + 1);
        ASSERT_EQ(Headless.FrameWidth, RasterWidth);
        ASSERT_EQ(Headless.FrameHeight, RasterHeight);
        for (int32_t y = 0; y < RasterHeight; ++y)
            ASSERT_EQ(0, std::memcmp(Headless.LastFrame.data() + size_t(y) * RasterWidth * 3, RowTable[y],
                                     size_t(RasterWidth) * 3))
                << "presented row " << y << " differs from the raster";
    }
};

constexpr int32_t LastColumn = 266, LastRow = 149;

} // namespace

TEST_F(RenderFrameTest, CornersRoundToNearestWithTiesToEven)
{
    Check({BlockAt(10.5, 20.5, 0, Red)}, {{10, 20, 10, 20, Red}}, "10.5 goes down to 10");
    Check({BlockAt(11.5, 21.5, 0, Red)}, {{12, 22, 12, 22, Red}}, "11.5 goes up to 12");
    Check({BlockAt(10.5, 11.5, 2, Green)}, {{10, 12, 12, 14, Green}}, "a 3-pixel block from 10.5, 11.5");
    Check({BlockAt(40.49, 30.51, 1, Blue)}, {{40, 31, 41, 32, Blue}}, "off the tie, nearest");
    // 0.5 rounds to 0, which is clipped; 1.5 rounds to 2.
    Check({BlockAt(0.5, 5.0, 0, Red), BlockAt(5.0, 0.5, 0, Red)}, {}, "ties down to row or column 0");
    Check({BlockAt(1.5, 5.0, 0, Red)}, {{2, 5, 2, 5, Red}}, "1.5 goes up to 2");
}

TEST_F(RenderFrameTest, ClippingKeepsTheBorderFree)
{
    Check({BlockAt(1, 1, 0, Red)}, {{1, 1, 1, 1, Red}}, "a 1-pixel block at (1, 1) is painted");
    Check({BlockAt(5, 0, 0, Red), BlockAt(0, 5, 0, Red), BlockAt(5, LastRow, 0, Red),
           BlockAt(LastColumn, 5, 0, Red), BlockAt(0, 0, 0, Red), BlockAt(LastColumn, LastRow, 0, Red)},
          {}, "1-pixel blocks on row 0, column 0, the last row and the last column are not painted");
    Check({BlockAt(5, LastRow - 1, 0, Green), BlockAt(LastColumn - 1, 5, 0, Green)},
          {{5, LastRow - 1, 5, LastRow - 1, Green}, {LastColumn - 1, 5, LastColumn - 1, 5, Green}},
          "the row and column just inside the border are painted");
    Check({BlockAt(-2, -2, 4, Blue)}, {{1, 1, 2, 2, Blue}}, "a block over the top-left corner");
    Check({BlockAt(LastColumn - 3, LastRow - 3, 4, Blue)},
          {{LastColumn - 3, LastRow - 3, LastColumn - 1, LastRow - 1, Blue}},
          "a block over the bottom-right corner");
    Check({BlockAt(-40, -40, 20, Red), BlockAt(LastColumn + 1, 10, 3, Red), BlockAt(10, LastRow + 1, 3, Red)}, {},
          "blocks wholly outside");
}

TEST_F(RenderFrameTest, EmptyListGivesAWhiteFrame)
{
    Check({}, {}, "no blocks");
}

TEST_F(RenderFrameTest, LaterBlocksPaintOverEarlierOnes)
{
    const Block a = BlockAt(10, 10, 4, Red), b = BlockAt(12, 13, 4, Green);
    Check({a, b}, {{10, 10, 14, 14, Red}, {12, 13, 16, 17, Green}}, "red then green");
    Check({b, a}, {{12, 13, 16, 17, Green}, {10, 10, 14, 14, Red}}, "green then red");
    Check({a, b, BlockAt(10, 10, 4, Blue)}, {{12, 13, 16, 17, Green}, {10, 10, 14, 14, Blue}},
          "a third block over the first");
}

TEST_F(RenderFrameTest, FarAwayBlocksTakeTheirDefinedPlace)
{
    const double two32 = 4294967296.0;
    Check({BlockAt(1e12, 1e12, 3, Red), BlockAt(-1e12, -1e12, 3, Red), BlockAt(1e12, 20, 3, Red),
           BlockAt(20, -1e12, 3, Red)},
          {}, "a trillion pixels away in every direction");
    // Corners in the 32-bit range but near its ends: the block's far edge must
    // not overflow into the raster.
    Check({BlockAt(2147483647.0, 10, 5, Red), BlockAt(10, 2147483646.0, 5, Red),
           BlockAt(-2147483648.0, 10, 5, Red), BlockAt(10, -2147483648.0, 5, Red)},
          {}, "corners at the ends of the 32-bit range");
    // Beyond 32 bits a corner keeps the low 32 bits of its 64-bit value.
    Check({BlockAt(two32 + 10, two32 * 3 + 20, 2, Green)}, {{10, 20, 12, 22, Green}},
          "corners 2^32 + 10 and 3 * 2^32 + 20 wrap round to 10 and 20");
    Check({BlockAt(two32 + 2147483648.0, 20, 2, Green)}, {}, "a corner that wraps to -2^31");
    // Beyond 64 bits there are no low bits to keep: the corner is 0.
    Check({BlockAt(1e30, 40, 2, Blue)}, {{1, 40, 2, 42, Blue}}, "a corner at 1e30 counts as 0");
}

TEST_F(RenderFrameTest, PositionsThatAreNotNumbersCountAsZero)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    Check({BlockAt(nan, 30, 3, Red)}, {{1, 30, 3, 33, Red}}, "NaN column");
    Check({BlockAt(30, nan, 3, Red)}, {{30, 1, 33, 3, Red}}, "NaN row");
    Check({BlockAt(inf, -inf, 3, Green)}, {{1, 1, 3, 3, Green}}, "infinite both ways");
    Check({BlockAt(nan, nan, 0, Blue)}, {}, "a 1-pixel block at NaN lands on (0, 0), clipped");
    Check({BlockAt(50, 50, 2, Red), BlockAt(nan, inf, 2, Green), BlockAt(60, 60, 1, Blue)},
          {{50, 50, 52, 52, Red}, {1, 1, 2, 2, Green}, {60, 60, 61, 61, Blue}},
          "a non-finite block among ordinary ones");
}
