// Block decomposition: the squares it cuts, their order and colours, and an
// exact tiling of every letter's black pixels.
#include <algorithm>

#include "tests/test_util.h"

static void Paint(Rectangle r, uint8_t value)
{
    for (int32_t y = r.Top; y <= r.Bottom; ++y)
        std::memset(RowTable[y] + r.Left * 3, value, size_t(r.Right - r.Left + 1) * 3);
}

TEST_F(CoreTest, DecompositionCutsTheseSquaresInThisOrder)
{
    const Rectangle all = {-1, 0, 0, 0};  // WorkRect
    struct Square {
        int32_t Size, Left, Top;  // side minus one, top-left pixel
    };
    const struct { const char* what; Rectangle rect; std::vector<Rectangle> black; std::vector<Square> want; }
        cases[] = {
        {"one pixel", all, {{37, 91, 37, 91}}, {{0, 37, 91}}},
        {"a 2x2 in the corner is a quadrant at every level", all, {{0, 0, 1, 1}}, {{1, 0, 0}}},
        {"a 2x2 across the middle", {0, 0, 3, 3}, {{1, 0, 2, 1}},
         {{0, 1, 0}, {0, 1, 1}, {0, 2, 0}, {0, 2, 1}}},
        {"quadrants top-left, top-right, bottom-left, bottom-right", {0, 0, 3, 3},
         {{0, 3, 0, 3}, {3, 3, 3, 3}, {3, 0, 3, 0}, {0, 0, 0, 0}},
         {{0, 0, 0}, {0, 3, 0}, {0, 0, 3}, {0, 3, 3}}},
        {"an odd side splits 3 + 2", {20, 30, 24, 34}, {{20, 30, 22, 32}, {23, 33, 24, 34}},
         {{2, 20, 30}, {1, 23, 33}}},
        {"2 x 3: the square, then the rest", {5, 7, 6, 9}, {{5, 7, 6, 9}}, {{1, 5, 7}, {0, 5, 9}, {0, 6, 9}}},
        {"the rest after all of the square", all, {{200, 3, 200, 3}, {149, 149, 149, 149}, {0, 140, 0, 140}},
         {{0, 0, 140}, {0, 149, 149}, {0, 200, 3}}},
        {"all white", all, {}, {}},
        {"an empty rectangle", {10, 10, 9, 20}, {{10, 10, 10, 10}}, {}},
    };
    for (const auto& c : cases) {
        Paint(WorkRect, 255);
        for (const Rectangle& r : c.black)
            Paint(r, 0);
        BlockList.clear();
        Decompose(c.rect.Left < 0 ? WorkRect : c.rect);
        std::vector<Block> want;
        for (const Square& s : c.want)
            want.push_back(BlockAt(s.Left, s.Top, s.Size));
        for (Block& b : BlockList)
            b.Colour = {};
        EXPECT_TRUE(SameBlocks(BlockList, want)) << c.what;
    }
    // A grey pixel cannot come out of the two-tone conversion; one that is
    // there anyway makes no block rather than an endless recursion.
    Paint(WorkRect, 255);
    Paint({100, 50, 100, 50}, 128);
    BlockList.clear();
    Decompose(WorkRect);
    EXPECT_TRUE(BlockList.empty());
}

// Every black pixel of every letter in exactly one well-formed block, none
// over white, on screens from 1 x 1 to 16384 x 64 and ems of 48 to 240.
TEST_F(CoreTest, BlocksTileEveryLetterOnEveryScreenAndEm)
{
    const struct { int32_t w, h; } screens[] = {
        {1920, 1080}, {1024, 768}, {1080, 1920}, {1, 1}, {2, 3}, {16384, 64}};
    for (const auto& s : screens)
        for (int em : {48, 96, 240}) {
            Prepare(s.w, s.h, em);
            for (int code = 0xC0; code <= 0xDF; code += em == 96 && s.w > 2 && s.w < 4000 ? 1 : 7) {
                ClearRaster();
                DrawLetter(uint8_t(code));
                MakeTwoTone();
                BlockList.clear();
                Decompose(WorkRect);
                std::vector<int> cover(size_t(RasterWidth) * RasterHeight);
                for (const Block& b : BlockList) {
                    const int32_t left = int32_t(b.X - b.Half), top = int32_t(b.Y - b.Half), n = b.SizeX;
                    ASSERT_TRUE(SameBlocks({b}, {BlockAt(left, top, n, b.Colour)})) << "a square";
                    ASSERT_GE(std::min(left, top), 0) << "inside the raster";
                    ASSERT_LT(left + n, RasterWidth) << "inside the raster";
                    ASSERT_LT(top + n, RasterHeight) << "inside the raster";
                    ASSERT_LT(std::max({b.Colour.Red, b.Colour.Green, b.Colour.Blue}), 220) << "a random colour";
                    for (int32_t y = top; y <= top + n; ++y)
                        for (int32_t x = left; x <= left + n; ++x)
                            cover[size_t(y) * RasterWidth + x] += RowTable[y][x * 3 + 2] == 0 ? 1 : 2;
                }
                for (size_t i = 0; i < cover.size(); ++i)
                    ASSERT_EQ(cover[i], RowTable[i / RasterWidth][i % RasterWidth * 3 + 2] == 0)
                        << s.w << "x" << s.h << " em " << em << " letter " << code << " pixel " << i;
                ASSERT_FALSE(em == 96 && BlockList.empty()) << "no blocks for a letter at em 96";
                // Frames of the moving blocks stay inside the raster (the address build checks).
                SceneStart.store(CounterNow());
                Animating.store(true);
                AnimationStep();
                AnimationStep();
            }
        }
}
