// Two-tone conversion: the truncated mean colour, the strict split at its
// magnitude, and black as the minority tone.
#include "tests/test_util.h"

TEST_F(CoreTest, MeanColourTruncatesEachChannel)
{
    const uint8_t a[3] = {0, 255, 100}, b[3] = {1, 254, 200};
    std::memcpy(RowTable[5] + 30, a, 3);
    std::memcpy(RowTable[5] + 33, b, 3);
    const Bgr m = MeanColour({10, 5, 11, 5});
    EXPECT_TRUE(m.Blue == 0 && m.Green == 254 && m.Red == 150) << int(m.Blue) << "," << int(m.Green) << "," << int(m.Red);
    EXPECT_EQ(MeanColour(WorkRect).Blue, 254) << "254.99 truncated";
}

TEST_F(CoreTest, TwoToneSplitsAtTheMeanAndBlackensTheMinority)
{
    using Paint = void (*)(int32_t x, int32_t y, uint8_t* bgr);
    using Tone = bool (*)(int32_t x, int32_t y);  // true: black
    const struct { const char* what; Paint paint; Tone black; } cases[] = {
        {"all white stays white", [](int32_t, int32_t, uint8_t* p) { p[0] = p[1] = p[2] = 255; },
         [](int32_t, int32_t) { return false; }},
        {"a tie turns the light half black",
         [](int32_t, int32_t y, uint8_t* p) { p[0] = p[1] = p[2] = y < 75 ? 30 : 220; },
         [](int32_t, int32_t y) { return y >= 75; }},
        {"a magnitude equal to the mean's is light", // mean (0, 0, 100): (0, 60, 80) has magnitude 100
         [](int32_t x, int32_t y, uint8_t* p) {
             const bool odd = y == 3 && x >= 3 && x <= 5;
             p[0] = 0, p[1] = odd && x == 5 ? 60 : 0, p[2] = odd ? uint8_t(x == 3 ? 0 : x == 4 ? 220 : 80) : 100;
         },
         [](int32_t x, int32_t y) { return x == 3 && y == 3; }},
        {"a dark majority is inverted", [](int32_t, int32_t y, uint8_t* p) { p[0] = p[1] = p[2] = y / 20 == 3 ? 255 : 0; },
         [](int32_t, int32_t y) { return y / 20 == 3; }},
        {"a two-tone picture with fewer black stays", [](int32_t x, int32_t y, uint8_t* p) {
             p[0] = p[1] = p[2] = (x - 90) * (x - 90) + (y - 70) * (y - 70) < 2500 || x == 0 ? 0 : 255; },
         [](int32_t x, int32_t y) { return (x - 90) * (x - 90) + (y - 70) * (y - 70) < 2500 || x == 0; }},
    };
    for (const auto& c : cases) {
        for (int32_t y = 0; y < RasterHeight; ++y)
            for (int32_t x = 0; x < RasterWidth; ++x)
                c.paint(x, y, RowTable[y] + x * 3);
        MakeTwoTone();
        int wrong = 0;
        for (int32_t y = 0; y < RasterHeight; ++y)
            for (int32_t x = 0; x < RasterWidth; ++x) {
                const uint8_t want = c.black(x, y) ? 0 : 255, *p = RowTable[y] + x * 3;
                wrong += p[0] != want || p[1] != want || p[2] != want;
            }
        EXPECT_EQ(wrong, 0) << c.what;
    }
}
