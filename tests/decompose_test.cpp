// Block decomposition: the squares it cuts and their order.
#include "tests/test_util.h"

TEST_F(CoreTest, DecompositionCutsTheseSquaresInThisOrder)
{
    struct Square { int32_t Size, Left, Top; };  // side minus one, top-left pixel
    const struct { const char* what; Rectangle rect; std::vector<Rectangle> black; std::vector<Square> want;
                   Rectangle grey = {0, 0, -1, -1}; } cases[] = {
        {"a 2x2 in the corner is a quadrant at every level", WorkRect, {{0, 0, 1, 1}}, {{1, 0, 0}}},
        {"a 2x2 across the middle", {0, 0, 3, 3}, {{1, 0, 2, 1}},
         {{0, 1, 0}, {0, 1, 1}, {0, 2, 0}, {0, 2, 1}}},
        {"quadrants top-left, top-right, bottom-left, bottom-right", {0, 0, 3, 3},
         {{0, 3, 0, 3}, {3, 3, 3, 3}, {3, 0, 3, 0}, {0, 0, 0, 0}},
         {{0, 0, 0}, {0, 3, 0}, {0, 0, 3}, {0, 3, 3}}},
        {"an odd side splits 3 + 2", {20, 30, 24, 34}, {{20, 30, 22, 32}, {23, 33, 24, 34}},
         {{2, 20, 30}, {1, 23, 33}}},
        {"2 x 3: the square, then the rest", {5, 7, 6, 9}, {{5, 7, 6, 9}}, {{1, 5, 7}, {0, 5, 9}, {0, 6, 9}}},
        {"the rest after all of the square", WorkRect, {{200, 3, 200, 3}, {149, 149, 149, 149}, {0, 140, 0, 140}},
         {{0, 0, 140}, {0, 149, 149}, {0, 200, 3}}},
        {"an empty rectangle", {10, 10, 9, 20}, {{10, 10, 10, 10}}, {}},
        // The two-tone conversion never leaves a grey pixel; one that is
        // there anyway makes no block rather than an endless recursion.
        {"a grey pixel", WorkRect, {}, {}, {100, 50, 100, 50}},
    };
    for (const auto& c : cases) {
        Paint(WorkRect, 255);
        for (const Rectangle& r : c.black)
            Paint(r, 0);
        Paint(c.grey, 128);
        BlockList.clear();
        Decompose(c.rect);
        std::vector<Block> want;
        for (const Square& s : c.want)
            want.push_back(BlockAt(s.Left, s.Top, s.Size));
        for (Block& b : BlockList)
            b.Colour = {};
        EXPECT_TRUE(SameBlocks(BlockList, want)) << c.what;
    }
}
