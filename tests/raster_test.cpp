// Raster geometry, the white fill and the letter's placement.
#include <gtest/gtest.h>

#include "platform/platform.h"
#include "scene/scene.h"
#include "tests/raster_guard.h"

namespace {

const uint8_t* Pixel(int32_t x, int32_t y) { return RowTable[y] + x * 3; }

bool IsWhite(int32_t x, int32_t y)
{
    const uint8_t* p = Pixel(x, y);
    return p[0] == 255 && p[1] == 255 && p[2] == 255;
}

} // namespace

TEST(Raster, WidthFollowsTheScreenShape)
{
    const struct { int32_t w, h, columns; } cases[] = {
        {1920, 1080, 267}, {1280, 1024, 188}, {1024, 768, 200}, {1080, 1920, 84},
        {150, 150, 150}, {2, 3, 100}, {16384, 64, 38400}, {7680, 4320, 267},
    };
    for (const auto& c : cases)
        EXPECT_EQ(RasterWidthFor(c.w, c.h), c.columns) << c.w << "x" << c.h;
}

TEST(Raster, CreatedWhiteWithItsRectangles)
{
    RasterGuard raster(1280, 1024);
    ASSERT_TRUE(raster.ok);
    EXPECT_EQ(RasterWidth, 188);
    EXPECT_EQ(WorkRect.Left, 0);
    EXPECT_EQ(WorkRect.Top, 0);
    EXPECT_EQ(WorkRect.Right, 187);
    EXPECT_EQ(WorkRect.Bottom, 149);
    EXPECT_EQ(ClearRect.Left, 1);
    EXPECT_EQ(ClearRect.Right, 188);
    EXPECT_EQ(ClearRect.Bottom, 150);
    for (int32_t y = 0; y < RasterHeight; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x)
            ASSERT_TRUE(IsWhite(x, y)) << x << "," << y;
    // Rows are separate and 4-byte aligned in memory.
    EXPECT_EQ((RowTable[1] - RowTable[0]) % 4, 0);
    EXPECT_GE(RowTable[1] - RowTable[0], 188 * 3);
}

TEST(Raster, ImpossibleShapesAreRefusedWithAReason)
{
    std::string error;
    EXPECT_FALSE(CreateRaster(1, 1000, &error));  // 0.15 columns rounds to none
    EXPECT_NE(error.find("0 columns"), std::string::npos) << error;
    EXPECT_FALSE(CreateRaster(100, 0, &error));
    EXPECT_EQ(RowTable[0], nullptr);
    RasterGuard tiny(1, 1);  // 150 columns: a tiny screen still gets a raster
    EXPECT_TRUE(tiny.ok);
}

TEST(Raster, ReleaseIsCountedOnceAndSafeToRepeat)
{
    const int before = RasterReleases;
    {
        RasterGuard raster(640, 480);
        ReleaseRaster();
        EXPECT_EQ(RowTable[0], nullptr);
    }
    EXPECT_EQ(RasterReleases, before + 1);
}

TEST(Raster, ClearNeverTouchesColumnZero)
{
    RasterGuard raster(1920, 1080);
    for (int32_t y = 0; y < RasterHeight; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x)
            RowTable[y][x * 3] = RowTable[y][x * 3 + 1] = RowTable[y][x * 3 + 2] = 0;
    ClearRaster();
    for (int32_t y = 0; y < RasterHeight; ++y) {
        EXPECT_EQ(Pixel(0, y)[2], 0) << "row " << y;
        EXPECT_TRUE(IsWhite(1, y));
        EXPECT_TRUE(IsWhite(RasterWidth - 1, y));
    }
}

TEST(Letter, InkLiesWhereTheCellPutsIt)
{
    RasterGuard raster(1920, 1080);
    std::string error;
    ASSERT_TRUE(SetRasterFont("Times New Roman", 96, &error)) << error;
    DrawLetter(0xC0);  // А
    int32_t top = RasterHeight, bottom = -1, left = RasterWidth, right = -1;
    for (int32_t y = 0; y < RasterHeight; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x)
            if (Pixel(x, y)[2] < 128) {
                top = std::min(top, y);
                bottom = std::max(bottom, y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
    // A capital stands on the baseline (row 20 + 86 at a 96-pixel em) and
    // rises to about the cap height (0.66 em) above it, from column 60 on.
    EXPECT_GE(bottom, 104);
    EXPECT_LE(bottom, 106);
    EXPECT_GE(top, 106 - 70);
    EXPECT_LE(top, 106 - 58);
    EXPECT_GE(left, 60);
    EXPECT_LE(right, 60 + 80);
}

static int InkOf(uint8_t code)
{
    ClearRaster();
    DrawLetter(code);
    int ink = 0;
    for (int32_t y = 0; y < RasterHeight; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x)
            ink += Pixel(x, y)[2] < 128;
    return ink;
}

TEST(Letter, EveryCapitalHasInk)
{
    RasterGuard raster(1920, 1080);
    std::string error;
    ASSERT_TRUE(SetRasterFont("Times New Roman", 96, &error)) << error;
    for (int code = 0xC0; code <= 0xDF; ++code)
        EXPECT_GT(InkOf(uint8_t(code)), 200) << "letter 0x" << std::hex << code;
    EXPECT_NE(std::string(PlatformFontFile()).find("Liberation"), std::string::npos) << PlatformFontFile();
}

TEST(Letter, LargeEmsOnNarrowRastersAreClipped)
{
    // 84 columns and a 240-pixel em: most of each letter lies outside.
    RasterGuard raster(1080, 1920);
    std::string error;
    ASSERT_TRUE(SetRasterFont("Times New Roman", 240, &error)) << error;
    int withInk = 0;
    for (int code = 0xC0; code <= 0xDF; ++code)
        withInk += InkOf(uint8_t(code)) > 0;
    EXPECT_GT(withInk, 0);
    EXPECT_LT(withInk, 32);
}
