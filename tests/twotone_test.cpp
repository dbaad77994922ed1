// Two-tone conversion: the mean colour, the strict split at its magnitude,
// and black as the minority tone.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scene/scene.h"
#include "tests/raster_guard.h"

namespace {

void Put(int32_t x, int32_t y, uint8_t b, uint8_t g, uint8_t r)
{
    uint8_t* px = RowTable[y] + x * 3;
    px[0] = b;
    px[1] = g;
    px[2] = r;
}

void FillAll(uint8_t b, uint8_t g, uint8_t r)
{
    for (int32_t y = 0; y < RasterHeight; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x)
            Put(x, y, b, g, r);
}

// black[y * RasterWidth + x]: the tone each pixel must end in.
using ToneMap = std::vector<bool>;

ToneMap Tones(bool black) { return ToneMap(size_t(RasterWidth) * RasterHeight, black); }

// Compares the raster with the expected tones; reports the first few
// differing pixels with what they hold and what they should hold.
::testing::AssertionResult RasterIs(const ToneMap& black)
{
    int bad = 0;
    std::string report;
    for (int32_t y = 0; y < RasterHeight; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x) {
            const uint8_t* px = RowTable[y] + x * 3;
            const uint8_t want = black[size_t(y) * RasterWidth + x] ? 0 : 255;
            if (px[0] == want && px[1] == want && px[2] == want)
                continue;
            if (++bad <= 5) {
                char line[120];
                std::snprintf(line, sizeof line, "\n  (%d,%d): got b,g,r %u,%u,%u, expected %u,%u,%u", x, y, px[0],
                              px[1], px[2], want, want, want);
                report += line;
            }
        }
    if (bad == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << bad << " pixels differ" << report;
}

// What every conversion must leave: pure black or pure white, black fewer.
::testing::AssertionResult PureTwoToneBlackMinority()
{
    uint32_t black = 0, white = 0;
    for (int32_t y = WorkRect.Top; y <= WorkRect.Bottom; ++y)
        for (int32_t x = WorkRect.Left; x <= WorkRect.Right; ++x) {
            const uint8_t* px = RowTable[y] + x * 3;
            if (px[0] == 0 && px[1] == 0 && px[2] == 0)
                ++black;
            else if (px[0] == 255 && px[1] == 255 && px[2] == 255)
                ++white;
            else
                return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is b,g,r " << int(px[0])
                                                     << "," << int(px[1]) << "," << int(px[2]);
        }
    if (black > white)
        return ::testing::AssertionFailure() << black << " black against " << white << " white";
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(MeanColour, TruncatesEachChannelSeparately)
{
    RasterGuard raster(1920, 1080);
    ASSERT_TRUE(raster.ok);
    // Two pixels: sums 1, 509, 300 over 2 give 0, 254, 150 (truncated).
    Put(10, 5, 0, 255, 100);
    Put(11, 5, 1, 254, 200);
    const Bgr m = MeanColour({10, 5, 11, 5});
    EXPECT_EQ(int(m.Blue), 0);
    EXPECT_EQ(int(m.Green), 254);
    EXPECT_EQ(int(m.Red), 150);
    // Rows are outer and both edges inclusive: a 2 x 3 block of one colour
    // next to different pixels averages to exactly that colour.
    for (int32_t y = 40; y <= 42; ++y)
        for (int32_t x = 70; x <= 71; ++x)
            Put(x, y, 7, 8, 9);
    const Bgr c = MeanColour({70, 40, 71, 42});
    EXPECT_EQ(int(c.Blue), 7);
    EXPECT_EQ(int(c.Green), 8);
    EXPECT_EQ(int(c.Red), 9);
    // Truncated, not rounded: the eight darker pixels above pull the blue
    // mean of the whole raster to 254.95, which stays 254.
    const Bgr w = MeanColour(WorkRect);
    EXPECT_EQ(int(w.Blue), 254);
}

TEST(TwoTone, AllWhiteStaysWhite)
{
    RasterGuard raster(1920, 1080);
    ASSERT_TRUE(raster.ok);
    MakeTwoTone();
    EXPECT_TRUE(RasterIs(Tones(false)));
}

TEST(TwoTone, ExactTieTurnsTheLightPixelsBlack)
{
    RasterGuard raster(1920, 1080);
    ASSERT_TRUE(raster.ok);
    // Top 75 rows dark grey, bottom 75 light grey: as many dark as light.
    ToneMap expect = Tones(false);
    for (int32_t y = 0; y < RasterHeight; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x) {
            const bool dark = y < 75;
            Put(x, y, dark ? 30 : 220, dark ? 30 : 220, dark ? 30 : 220);
            expect[size_t(y) * RasterWidth + x] = !dark;
        }
    MakeTwoTone();
    EXPECT_TRUE(RasterIs(expect));
}

TEST(TwoTone, MagnitudeEqualToTheReferenceCountsAsLight)
{
    RasterGuard raster(1920, 1080);
    ASSERT_TRUE(raster.ok);
    // Red 100 everywhere, except three pixels that keep the red sum at
    // exactly 100 per pixel and add too little green to survive truncation:
    // the mean is (0, 0, 100) and the reference magnitude exactly 100.
    FillAll(0, 0, 100);
    Put(3, 3, 0, 0, 0);      // magnitude 0: dark, the only one
    Put(4, 3, 0, 0, 220);    // magnitude 220: light
    Put(5, 3, 0, 60, 80);    // magnitude sqrt(3600 + 6400) = 100: light
    ToneMap expect = Tones(false);
    expect[size_t(3) * RasterWidth + 3] = true;
    MakeTwoTone();
    EXPECT_TRUE(RasterIs(expect));
}

TEST(TwoTone, TwoTonePictureWithFewerBlackIsUnchanged)
{
    RasterGuard raster(1024, 768);
    ASSERT_TRUE(raster.ok);
    ToneMap expect = Tones(false);
    for (int32_t y = 0; y < RasterHeight; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x) {
            const int dx = x - 90, dy = y - 70;
            const bool black = dx * dx + dy * dy < 50 * 50 || x == 0;
            expect[size_t(y) * RasterWidth + x] = black;
            const uint8_t v = black ? 0 : 255;
            Put(x, y, v, v, v);
        }
    MakeTwoTone();
    EXPECT_TRUE(RasterIs(expect));
}

// A smoothed letter blended between two colours: full ink gives ink, no ink
// gives paper, the edges every shade between.
static void ColourLetter(uint8_t code, Bgr ink, Bgr paper, ToneMap* fullInk, ToneMap* noInk)
{
    FillAll(255, 255, 255);
    DrawLetter(code);
    *fullInk = Tones(false);
    *noInk = Tones(false);
    for (int32_t y = 0; y < RasterHeight; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x) {
            uint8_t* px = RowTable[y] + x * 3;
            const int cover = 255 - px[2];
            const uint8_t* a = &ink.Blue;
            const uint8_t* b = &paper.Blue;
            for (int c = 0; c < 3; ++c)
                px[c] = uint8_t((a[c] * cover + b[c] * (255 - cover)) / 255);
            (*fullInk)[size_t(y) * RasterWidth + x] = cover == 255;
            (*noInk)[size_t(y) * RasterWidth + x] = cover == 0;
        }
}

TEST(TwoTone, ColouredLetterOnColouredBackground)
{
    RasterGuard raster(1920, 1080);
    ASSERT_TRUE(raster.ok);
    std::string error;
    ASSERT_TRUE(SetRasterFont("Times New Roman", 96, &error)) << error;
    struct Case {
        Bgr ink, paper;
    } cases[] = {
        {{120, 20, 30}, {40, 160, 200}},   // dark blue-ish ink on orange paper
        {{200, 240, 250}, {90, 10, 60}},   // light ink on dark paper: the ink is still the minority
        {{0, 0, 255}, {255, 0, 0}},        // pure red on pure blue: equal magnitudes, nothing is dark
    };
    for (uint8_t code : {uint8_t(0xC0), uint8_t(0xC6), uint8_t(0xDF)}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(::testing::Message() << "letter 0x" << std::hex << int(code) << std::dec << " ink "
                                              << int(c.ink.Red) << "," << int(c.ink.Green) << "," << int(c.ink.Blue));
            ToneMap fullInk, noInk;
            ColourLetter(code, c.ink, c.paper, &fullInk, &noInk);
            MakeTwoTone();
            ASSERT_TRUE(PureTwoToneBlackMinority());
            if (c.ink.Red == 255 && c.paper.Blue == 255) {
                // Pure red and pure blue have the same magnitude, above the
                // mean's: both are light, and only the blended edges, whose
                // magnitude dips, can be dark. They are few, so they turn black.
                for (size_t i = 0; i < fullInk.size(); ++i) {
                    if (fullInk[i] || noInk[i]) {
                        ASSERT_EQ(RowTable[i / RasterWidth][(i % RasterWidth) * 3], 255) << "pixel " << i;
                    }
                }
                continue;
            }
            for (size_t i = 0; i < fullInk.size(); ++i) {
                const uint8_t got = RowTable[i / RasterWidth][(i % RasterWidth) * 3];
                if (fullInk[i]) {
                    ASSERT_EQ(got, 0) << "full-ink pixel (" << i % RasterWidth << "," << i / RasterWidth << ")";
                }
                if (noInk[i]) {
                    ASSERT_EQ(got, 255) << "paper pixel (" << i % RasterWidth << "," << i / RasterWidth << ")";
                }
            }
        }
    }
}

TEST(TwoTone, MajorityDarkPictureIsInverted)
{
    RasterGuard raster(1080, 1920);  // 84 columns
    ASSERT_TRUE(raster.ok);
    // A black raster with a white bar: the bar is the minority and turns black.
    FillAll(0, 0, 0);
    ToneMap expect = Tones(false);
    for (int32_t y = 60; y < 80; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x) {
            Put(x, y, 255, 255, 255);
            expect[size_t(y) * RasterWidth + x] = true;
        }
    MakeTwoTone();
    EXPECT_TRUE(RasterIs(expect));
    EXPECT_TRUE(PureTwoToneBlackMinority());
}
