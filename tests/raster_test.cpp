// The raster and the pictures in it: its geometry, the white fill, the
// letter's place, the two-tone conversion and one animation frame.
#include <array>
#include <tuple>

#include "tests/test_util.h"

static bool White(int32_t x, int32_t y) { return !std::memcmp(RowTable[y] + x * 3, "\xff\xff\xff", 3); }

TEST(Raster, MadeWhiteAndRemadeForAnotherScreen)
{
    std::string error;
    // The second call frees the first raster (the address build's leak check).
    for (auto [w, h, cols] : {std::tuple{1280, 1024, 188}, {16384, 64, 38400}, {2, 3, 100}, {9, 16, 84}}) {
        const bool made = CreateRaster(w, h, &error);
        ASSERT_TRUE(made) << error;
        EXPECT_EQ(RasterWidth, cols);
        EXPECT_EQ((RowTable[1] - RowTable[0]) % 4, 0);
        EXPECT_TRUE(Pixels() == std::vector<uint8_t>(size_t(RasterWidth) * RasterHeight * 3, 255)) << w << " x " << h;
    }
    // A refusal keeps the raster there is.
    EXPECT_FALSE(CreateRaster(1, 1000, &error));
    EXPECT_EQ(error, "a raster of 0 columns cannot be created for a screen of 1 x 1000 pixels");
    EXPECT_FALSE(CreateRaster(100, 0, &error));
    EXPECT_EQ(RasterWidth, 84);
    ReleaseRaster(), ReleaseRaster();
    EXPECT_EQ(RowTable[0], nullptr);
}

TEST_F(CoreTest, ClearLeavesColumnZeroAndTheLetterCellStartsAtColumn60Row20)
{
    Paint(WorkRect, 100);
    ClearRaster();
    std::vector<uint8_t> cleared(size_t(RasterWidth) * RasterHeight * 3, 255);
    for (int32_t y = 0; y < RasterHeight; ++y)
        std::memset(&cleared[size_t(y) * RasterWidth * 3], 100, 3);
    EXPECT_TRUE(Pixels() == cleared) << "all white but column 0";
    Paint(WorkRect, 100);
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
    EXPECT_TRUE(ink >= 104 && ink <= 106) << "the lowest ink in row " << ink;
    // A 240-pixel em on 84 columns: ink past the right edge must not wrap into column 0.
    Prepare(1080, 1920, 240);
    for (int code = 0xC0; code <= 0xDF; ++code) {
        DrawLetter(uint8_t(code));
        for (int32_t y = 0; y < RasterHeight; ++y)
            ASSERT_TRUE(White(0, y)) << "letter " << code << " row " << y;
    }
}

// The byte is read in Windows-1251 whatever the system's own 8-bit code
// page: Cyrillic capitals shaped like Latin ones come out exactly as their
// twins, where a Western code page would give accented letters (0xC0: À).
TEST_F(CoreTest, LetterBytesAreWindows1251)
{
    for (auto [cyrillic, latin] : {std::pair{0xC0, 'A'}, {0xC2, 'B'}, {0xCE, 'O'}, {0xD0, 'P'}, {0xD5, 'X'}}) {
        DrawLetter(uint8_t(cyrillic));
        const std::vector<uint8_t> drawn = Pixels();
        ClearRaster(), DrawLetter(uint8_t(latin));
        EXPECT_TRUE(drawn == Pixels()) << "byte 0x" << std::hex << cyrillic << " is not " << latin;
        ClearRaster();
    }
}

TEST_F(CoreTest, MeanColourTruncatesEachChannel)
{
    std::memcpy(RowTable[5] + 30, "\x00\xff\x64\x01\xfe\xc8", 6);  // b,g,r 0,255,100 and 1,254,200
    const Bgr m = MeanColour({10, 5, 11, 5});
    EXPECT_EQ((std::array{+m.Blue, +m.Green, +m.Red}), (std::array{0, 254, 150})) << "blue, green, red";
    EXPECT_EQ(MeanColour(WorkRect).Blue, 254) << "254.99 truncated";
}

TEST_F(CoreTest, TwoToneSplitsAtTheMeanAndBlackensTheMinority)
{
    using Paint = uint8_t (*)(int32_t x, int32_t y, int channel);  // b, g, r
    using Tone = bool (*)(int32_t x, int32_t y);                     // true: black
    const struct { const char* what; Paint paint; Tone black; } cases[] = {
        {"a tie blackens the light half", [](int32_t, int32_t y, int) { return uint8_t(y < 75 ? 30 : 220); },
         [](int32_t, int32_t y) { return y >= 75; }},
        {"a magnitude equal to the mean's is light",  // mean (0, 0, 100): (0, 60, 80) has magnitude 100
         [](int32_t x, int32_t y, int c) {
             const uint8_t odd[3][3] = {{0, 0, 0}, {0, 0, 220}, {0, 60, 80}}, red[3] = {0, 0, 100};
             return y == 3 && x >= 3 && x <= 5 ? odd[x - 3][c] : red[c];
         },
         [](int32_t x, int32_t y) { return x == 3 && y == 3; }},
        {"a dark majority is inverted", [](int32_t, int32_t y, int) { return uint8_t(y / 20 == 3 ? 99 : 0); },
         [](int32_t, int32_t y) { return y / 20 == 3; }},
    };
    for (const auto& c : cases) {
        for (int32_t y = 0; y < RasterHeight; ++y)
            for (int32_t x = 0; x < RasterWidth * 3; ++x)
                RowTable[y][x] = c.paint(x / 3, y, x % 3);
        MakeTwoTone();
        int wrong = 0;
        for (int32_t y = 0; y < RasterHeight; ++y)
            for (int32_t x = 0; x < RasterWidth * 3; ++x)
                wrong += RowTable[y][x] != (c.black(x / 3, y) ? 0 : 255);
        EXPECT_EQ(wrong, 0) << c.what;
    }
}

TEST_F(CoreTest, FramePaintsBlocksRoundedAndClippedInsideTheBorder)
{
    constexpr Bgr R = {0, 0, 200}, G = {0, 180, 0}, B = {190, 0, 0}, Mark = {7, 77, 177};
    constexpr int32_t L = 266, Z = 149;  // last column and row
    const double two32 = 4294967296.0, big = 2147483647.0;
    struct Paint { int32_t Left, Top, Right, Bottom; Bgr Colour; };
    const struct { const char* what; std::vector<Block> blocks; std::vector<Paint> want; } cases[] = {
        {"ties to even", {BlockAt(10.5, 20.5, 0, R), BlockAt(11.5, 21.5, 0, G), BlockAt(40.49, 30.51, 1, B)},
         {{10, 20, 10, 20, R}, {12, 22, 12, 22, G}, {40, 31, 41, 32, B}}},
        {"the border stays free", {BlockAt(5, 0, 0, R), BlockAt(0, 5, 0, R), BlockAt(5, Z, 0, R),
                                   BlockAt(L, 5, 0, R), BlockAt(1, 1, 0, G), BlockAt(5, Z - 1, 0, G),
                                   BlockAt(L - 1, 5, 0, G)},
         {{1, 1, 1, 1, G}, {5, Z - 1, 5, Z - 1, G}, {L - 1, 5, L - 1, 5, G}}},
        {"over the corners", {BlockAt(-2, -2, 4, B), BlockAt(L - 3, Z - 3, 4, B)},
         {{1, 1, 2, 2, B}, {L - 3, Z - 3, L - 1, Z - 1, B}}},
        {"later over earlier", {BlockAt(10, 10, 4, R), BlockAt(12, 13, 4, G), BlockAt(10, 10, 1, B)},
         {{10, 10, 14, 14, R}, {12, 13, 16, 17, G}, {10, 10, 11, 11, B}}},
        {"far away", {BlockAt(1e12, 1e12, 3, R), BlockAt(-1e12, 20, 3, R), BlockAt(-40, -40, 20, R),
                      BlockAt(big, 10, 5, R), BlockAt(10, big - 1, 5, R), BlockAt(-big - 1, 10, 5, R),
                      BlockAt(two32 + big + 1, 20, 2, R)}, {}},
        {"corners past 32 bits keep their low half, past 64 bits are 0",
         {BlockAt(two32 + 10, two32 * 3 + 20, 2, G), BlockAt(1e30, 40, 2, B)},
         {{10, 20, 12, 22, G}, {1, 40, 2, 42, B}}},
        {"not a number is 0", {BlockAt(Nan, 30, 3, R), BlockAt(30, Nan, 3, G), BlockAt(Inf, -Inf, 3, B)},
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
    EXPECT_EQ(Headless.Presents, 7);
}
