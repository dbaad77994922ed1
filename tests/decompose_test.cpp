// Block decomposition: the squares it cuts, their order, their colours, and
// an exact tiling of every letter's black pixels.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "animation/animation.h"
#include "common/random.h"
#include "common/state.h"
#include "scene/scene.h"
#include "tests/raster_guard.h"

namespace {

void Black(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    for (int32_t y = top; y <= bottom; ++y)
        for (int32_t x = left; x <= right; ++x)
            RowTable[y][x * 3] = RowTable[y][x * 3 + 1] = RowTable[y][x * 3 + 2] = 0;
}

// The geometry a block must have: side minus one and top-left pixel.
struct Square {
    int32_t Size, Left, Top;
};

std::string Describe(const Block& b)
{
    char text[200];
    std::snprintf(text, sizeof text, "{SizeX %d SizeY %d X %.17g Y %.17g VX %g VY %g Mass %u Half %.17g}", b.SizeX,
                  b.SizeY, b.X, b.Y, b.VX, b.VY, b.Mass, b.Half);
    return text;
}

// Compares the BlockList with the expected squares, in order, field by field
// as the decomposition defines them.
::testing::AssertionResult BlocksAre(const std::vector<Square>& want)
{
    std::string got;
    for (const Block& b : BlockList)
        got += "\n  " + Describe(b);
    auto fail = [&](const std::string& why) {
        return ::testing::AssertionFailure() << why << "; got " << BlockList.size() << " blocks:" << got;
    };
    if (BlockList.size() != want.size())
        return fail("expected " + std::to_string(want.size()) + " blocks");
    for (size_t i = 0; i < want.size(); ++i) {
        const Block& b = BlockList[i];
        const Square& w = want[i];
        const double half = w.Size / 2.0;
        const uint32_t mass = uint32_t(w.Size + 1) * uint32_t(w.Size + 1);
        if (b.SizeX != w.Size || b.SizeY != w.Size || b.Half != half || b.X != half + w.Left ||
            b.Y != half + w.Top || b.Mass != mass || b.VX != 0.0 || b.VY != 0.0)
            return fail("block " + std::to_string(i) + " should be side " + std::to_string(w.Size + 1) + " at (" +
                        std::to_string(w.Left) + "," + std::to_string(w.Top) + ")");
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(Decompose, SinglePixel)
{
    RasterGuard raster(1920, 1080);
    ASSERT_TRUE(raster.ok);
    Black(37, 91, 37, 91);
    Decompose(WorkRect);
    EXPECT_TRUE(BlocksAre({{0, 37, 91}}));
}

TEST(Decompose, AlignedTwoByTwo)
{
    RasterGuard raster(1920, 1080);
    ASSERT_TRUE(raster.ok);
    // The top-left corner of the whole raster is a quadrant at every level
    // (150, 75, 38, 19, 10, 5, 3 pixels), so a 2 x 2 there stays whole.
    Black(0, 0, 1, 1);
    Decompose(WorkRect);
    EXPECT_TRUE(BlocksAre({{1, 0, 0}}));
    // Called on exactly the square, anywhere.
    BlockList.clear();
    Black(10, 20, 11, 21);
    Decompose({10, 20, 11, 21});
    EXPECT_TRUE(BlocksAre({{1, 10, 20}}));
    EXPECT_EQ(BlockList[0].X, 10.5);
    EXPECT_EQ(BlockList[0].Mass, 4u);
}

TEST(Decompose, UnalignedTwoByTwoSplits)
{
    RasterGuard raster(1920, 1080);
    ASSERT_TRUE(raster.ok);
    // Columns 1..2 of a 4-pixel square straddle its middle: each half lies in
    // a mixed quadrant and comes out as single pixels, the top-left
    // quadrant's two (its top-right, then its bottom-right) before the
    // top-right quadrant's.
    Black(1, 0, 2, 1);
    Decompose({0, 0, 3, 3});
    EXPECT_TRUE(BlocksAre({{0, 1, 0}, {0, 1, 1}, {0, 2, 0}, {0, 2, 1}}));
}

TEST(Decompose, OddSideGivesTheLargerQuadrantsTopAndLeft)
{
    RasterGuard raster(1920, 1080);
    ASSERT_TRUE(raster.ok);
    // A 5-pixel square splits 3 + 2 each way: a black 3 x 3 top-left and a
    // black 2 x 2 bottom-right are one quadrant each.
    Black(20, 30, 22, 32);
    Black(23, 33, 24, 34);
    Decompose({20, 30, 24, 34});
    EXPECT_TRUE(BlocksAre({{2, 20, 30}, {1, 23, 33}}));
}

TEST(Decompose, TwoByThreeIsSquaredThenTheRemainderSplit)
{
    RasterGuard raster(1920, 1080);
    ASSERT_TRUE(raster.ok);
    Black(5, 7, 6, 9);
    Decompose({5, 7, 6, 9});
    EXPECT_TRUE(BlocksAre({{1, 5, 7}, {0, 5, 9}, {0, 6, 9}}));
}

TEST(Decompose, RemainderComesAfterEverythingInTheSquare)
{
    RasterGuard raster(1920, 1080);  // 267 columns: square 0..149, then the rest
    ASSERT_TRUE(raster.ok);
    Black(200, 3, 200, 3);   // in the remainder
    Black(149, 149, 149, 149);  // last pixel of the first square
    Black(0, 140, 0, 140);
    Decompose(WorkRect);
    EXPECT_TRUE(BlocksAre({{0, 0, 140}, {0, 149, 149}, {0, 200, 3}}));
}

TEST(Decompose, AllWhiteGivesNoBlocks)
{
    RasterGuard raster(1080, 1920);
    ASSERT_TRUE(raster.ok);
    Decompose(WorkRect);
    EXPECT_TRUE(BlocksAre({}));
}

TEST(Decompose, OutOfContractInputsEnd)
{
    RasterGuard raster(1920, 1080);
    ASSERT_TRUE(raster.ok);
    // A grey pixel cannot come out of the two-tone conversion; if one is
    // there anyway it makes no block rather than an endless recursion.
    RowTable[50][100 * 3 + 2] = 128;
    Black(101, 50, 101, 50);
    Decompose(WorkRect);
    EXPECT_TRUE(BlocksAre({{0, 101, 50}}));
    BlockList.clear();
    Decompose({10, 10, 9, 20});   // empty rectangles
    Decompose({10, 10, 20, 9});
    EXPECT_TRUE(BlocksAre({}));
}

TEST(Decompose, VeryWideRasterDoesNotNest)
{
    RasterGuard raster(16384, 64);  // 38400 columns: 256 squares in a row
    ASSERT_TRUE(raster.ok);
    Black(RasterWidth - 1, 149, RasterWidth - 1, 149);
    Decompose(WorkRect);
    EXPECT_TRUE(BlocksAre({{0, RasterWidth - 1, 149}}));
}

TEST(Decompose, ColoursConsumeTheGeneratorInBlockOrder)
{
    RasterGuard raster(1920, 1080);
    ASSERT_TRUE(raster.ok);
    Black(1, 0, 2, 1);
    Black(40, 40, 47, 47);
    Black(250, 100, 252, 102);
    RandSeed = 777;
    Decompose(WorkRect);
    ASSERT_GT(BlockList.size(), 5u);
    RandSeed = 777;
    for (size_t i = 0; i < BlockList.size(); ++i) {
        const uint32_t r = Random(220), g = Random(220), b = Random(220);
        const Bgr& c = BlockList[i].Colour;
        EXPECT_TRUE(c.Red == r && c.Green == g && c.Blue == b)
            << "block " << i << ": got r,g,b " << int(c.Red) << "," << int(c.Green) << "," << int(c.Blue)
            << ", expected " << r << "," << g << "," << b;
    }
    const uint32_t after = RandSeed;
    RandSeed = 777;
    BlockList.clear();
    Decompose(WorkRect);
    EXPECT_EQ(RandSeed, after) << "three calls per block and no more";
}

// Covers every block's pixels, counting how often each is covered; every
// covered pixel must be black and covered once, every black pixel covered.
// A letter clipped away entirely may leave no ink when requireInk is false.
static ::testing::AssertionResult BlocksTileTheBlackPixels(bool requireInk = true)
{
    std::vector<int> cover(size_t(RasterWidth) * RasterHeight, 0);
    for (size_t i = 0; i < BlockList.size(); ++i) {
        const Block& b = BlockList[i];
        const double left = b.X - b.Half, top = b.Y - b.Half;
        if (b.SizeX != b.SizeY || b.SizeX < 0 || left != int32_t(left) || top != int32_t(top) ||
            b.Mass != uint32_t(b.SizeX + 1) * uint32_t(b.SizeX + 1) || b.VX != 0 || b.VY != 0 ||
            b.Colour.Red >= 220 || b.Colour.Green >= 220 || b.Colour.Blue >= 220)
            return ::testing::AssertionFailure() << "block " << i << " malformed: " << Describe(b);
        for (int32_t y = int32_t(top); y <= int32_t(top) + b.SizeY; ++y)
            for (int32_t x = int32_t(left); x <= int32_t(left) + b.SizeX; ++x) {
                if (x < 0 || y < 0 || x >= RasterWidth || y >= RasterHeight)
                    return ::testing::AssertionFailure() << "block " << i << " leaves the raster: " << Describe(b);
                if (++cover[size_t(y) * RasterWidth + x] > 1)
                    return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") covered twice, block "
                                                         << i << " " << Describe(b);
                if (RowTable[y][x * 3 + 2] != 0)
                    return ::testing::AssertionFailure() << "white pixel (" << x << "," << y << ") in block " << i;
            }
    }
    size_t black = 0;
    for (int32_t y = 0; y < RasterHeight; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x) {
            const bool isBlack = RowTable[y][x * 3 + 2] == 0;
            black += isBlack;
            if (isBlack && cover[size_t(y) * RasterWidth + x] == 0)
                return ::testing::AssertionFailure() << "black pixel (" << x << "," << y << ") not covered";
        }
    if (black == 0 && requireInk)
        return ::testing::AssertionFailure() << "the letter left no black pixels";
    return ::testing::AssertionSuccess();
}

TEST(Decompose, BlocksTileEveryLetterAtEveryScreenShape)
{
    const struct { int32_t w, h; } screens[] = {{1920, 1080}, {1024, 768}, {1080, 1920}};
    for (const auto& screen : screens) {
        RasterGuard raster(screen.w, screen.h);
        ASSERT_TRUE(raster.ok);
        std::string error;
        ASSERT_TRUE(SetRasterFont("Times New Roman", 96, &error)) << error;
        RandSeed = 1;
        for (int code = 0xC0; code <= 0xDF; ++code) {
            ClearRaster();
            DrawLetter(uint8_t(code));
            MakeTwoTone();
            BlockList.clear();
            Decompose(WorkRect);
            ASSERT_TRUE(BlocksTileTheBlackPixels())
                << screen.w << "x" << screen.h << " letter 0x" << std::hex << code;
        }
    }
}

// Odd screens and desktop DPIs: tiny, square, portrait, 8K and an extreme
// 16384x64 (38,400 columns), with ems from half to two and a half times the
// usual. Letters larger than the raster are clipped; whatever is left must
// still be cut exactly, and frames over it must stay inside the raster.
TEST(Decompose, OddScreensAndDpisStillTileExactly)
{
    const struct { int32_t w, h; } screens[] = {{1, 1},       {2, 3},       {150, 150}, {640, 480},
                                                 {1080, 1920}, {7680, 4320}, {16384, 64}};
    for (const auto& screen : screens) {
        RasterGuard raster(screen.w, screen.h);
        ASSERT_TRUE(raster.ok) << screen.w << "x" << screen.h;
        for (int dpi : {48, 96, 120, 144, 240}) {
            std::string error;
            ASSERT_TRUE(SetRasterFont("Times New Roman", dpi, &error)) << error;
            for (int code : {0xC0, 0xC6, 0xD4, 0xDF}) {
                ClearRaster();
                DrawLetter(uint8_t(code));
                MakeTwoTone();
                BlockList.clear();
                Decompose(WorkRect);
                ASSERT_TRUE(BlocksTileTheBlackPixels(false))
                    << screen.w << "x" << screen.h << " dpi " << dpi << " letter 0x" << std::hex << code;
                Animating.store(true);
                for (int step = 0; step < 3; ++step) {
                    AttractionStep(BlockList.data(), BlockList.size());
                    PositionUpdate(BlockList.data(), BlockList.size());
                    RenderFrame();
                }
                Animating.store(false);
            }
        }
    }
    BlockList.clear();
}
