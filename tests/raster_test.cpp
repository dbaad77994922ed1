// Raster geometry, the white fill and the letter's place.
#include "tests/test_util.h"

namespace {
bool White(int32_t x, int32_t y)
{
    const uint8_t* p = RowTable[y] + x * 3;
    return p[0] == 255 && p[1] == 255 && p[2] == 255;
}
}  // namespace

TEST(Raster, WidthFollowsTheScreenShape)
{
    const struct { int32_t w, h, columns; } cases[] = {{1920, 1080, 267}, {1280, 1024, 188}, {1024, 768, 200},
                                                        {1080, 1920, 84},  {2, 3, 100},       {16384, 64, 38400}};
    for (const auto& c : cases)
        EXPECT_EQ(RasterWidthFor(c.w, c.h), c.columns) << c.w << "x" << c.h;
}

TEST(Raster, MadeWhiteAndRemadeForAnotherScreen)
{
    std::string error;
    // The second call frees the first raster (the address build's leak check).
    for (const auto& [w, h, columns] : {std::tuple{1280, 1024, 188}, {1080, 1920, 84}}) {
        ASSERT_TRUE(CreateRaster(w, h, &error)) << error;
        EXPECT_EQ(RasterWidth, columns);
        EXPECT_TRUE(WorkRect.Left == 0 && WorkRect.Top == 0 && WorkRect.Right == columns - 1 && WorkRect.Bottom == 149);
        EXPECT_TRUE(ClearRect.Left == 1 && ClearRect.Top == 0 && ClearRect.Right == columns && ClearRect.Bottom == 150);
        EXPECT_EQ((RowTable[1] - RowTable[0]) % 4, 0);
        for (int32_t y = 0; y < RasterHeight; ++y)
            for (int32_t x = 0; x < RasterWidth; ++x)
                ASSERT_TRUE(White(x, y)) << x << "," << y;
    }
    // A refusal keeps the raster there is.
    EXPECT_FALSE(CreateRaster(1, 1000, &error));
    EXPECT_NE(error.find("0 columns"), std::string::npos) << error;
    EXPECT_FALSE(CreateRaster(100, 0, &error));
    EXPECT_EQ(RasterWidth, 84);
    ReleaseRaster();
    ReleaseRaster();
    EXPECT_EQ(RowTable[0], nullptr);
}

TEST_F(CoreTest, ClearLeavesColumnZero)
{
    for (int32_t y = 0; y < RasterHeight; ++y)
        std::memset(RowTable[y], 0, size_t(RasterWidth) * 3);
    ClearRaster();
    for (int32_t y = 0; y < RasterHeight; ++y)
        ASSERT_TRUE(!White(0, y) && White(1, y) && White(RasterWidth - 1, y)) << "row " << y;
}

TEST_F(CoreTest, LetterCellStartsAtColumn60Row20AndIsClipped)
{
    for (int32_t y = 0; y < RasterHeight; ++y)
        std::memset(RowTable[y], 100, size_t(RasterWidth) * 3);
    DrawLetter(0xC0);  // the opaque cell turns white, the ink sits on the baseline (row 20 + 86)
    int32_t top = RasterHeight, left = RasterWidth, ink = -1;
    for (int32_t y = 0; y < RasterHeight; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x) {
            top = White(x, y) ? std::min(top, y) : top;
            left = White(x, y) ? std::min(left, x) : left;
            ink = RowTable[y][x * 3] < 100 ? y : ink;
        }
    EXPECT_EQ(left, 60);
    EXPECT_EQ(top, 20);
    EXPECT_TRUE(ink >= 104 && ink <= 106) << ink;
    // A 240-pixel em on 84 columns: ink past the right edge must not wrap into column 0.
    Prepare(1080, 1920, 240);
    for (int code = 0xC0; code <= 0xDF; ++code) {
        DrawLetter(uint8_t(code));
        for (int32_t y = 0; y < RasterHeight; ++y)
            ASSERT_TRUE(White(0, y)) << "letter " << code << " row " << y;
    }
}
