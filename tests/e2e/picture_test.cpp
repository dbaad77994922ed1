// What the program shows, whatever its command line: the two-tone letter,
// then moving coloured blocks, each the exact nearest-neighbour enlargement
// of the 150-row raster over the whole screen, without a cursor.
#include "tests/e2e/harness.h"

#include <array>

#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>

namespace {

// Screen pixel (x, y) must show raster pixel (x * W / w, y * 150 / h), both
// rounded down. The raster is read back from the first screen pixel of each
// of its cells.
void ExpectEnlargement(const Screenshot& s, int rasterWidth, const char* what)
{
    auto column = [&](int x) { return int(int64_t(x) * rasterWidth / s.Width); };
    auto row = [&](int y) { return y * 150 / s.Height; };
    std::vector<int> firstX(size_t(rasterWidth), 0), firstY(150, 0);
    for (int x = s.Width - 1; x >= 0; --x)
        firstX[size_t(column(x))] = x;
    for (int y = s.Height - 1; y >= 0; --y)
        firstY[size_t(row(y))] = y;
    size_t wrong = 0;
    std::string first;
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x)
            if (s.At(x, y) != s.At(firstX[size_t(column(x))], firstY[size_t(row(y))]) && !wrong++)
                first = std::to_string(x) + ", " + std::to_string(y);
    EXPECT_EQ(wrong, 0u) << what << " is not the enlargement of a " << rasterWidth << "x150 raster, from (" << first
                         << ") on";
}

bool CursorHidden(Display* d)
{
    XFixesCursorImage* cursor = XFixesGetCursorImage(d);
    bool hidden = cursor != nullptr;
    for (size_t i = 0; hidden && i < size_t(cursor->width) * cursor->height; ++i)
        hidden = (cursor->pixels[i] >> 24) == 0;
    if (cursor)
        XFree(cursor);
    return hidden;
}

struct Picture : E2e, testing::WithParamInterface<std::array<int, 3>> {};

TEST_P(Picture, TheLetterThenMovingBlocksEnlargedExactly)
{
    const auto [width, height, rasterWidth] = GetParam();
    StartServer(width, height);
    Launch({"--help", "-s", "/nonexistent"});
    ASSERT_FALSE(HasFatalFailure());
    Screenshot letter, frame, later;
    ASSERT_TRUE(WaitForPhase(true, &letter));
    ExpectEnlargement(letter, rasterWidth, "the letter");
    EXPECT_TRUE(CursorHidden(Server.Conn));
    ASSERT_TRUE(WaitForPhase(false, &frame));
    ExpectEnlargement(frame, rasterWidth, "a frame");
    auto moved = [&](const Screenshot& s) { return HasColour(s) && s.Pixels != frame.Pixels; };
    EXPECT_TRUE(WaitForScreen(Server.Conn, Ms(5000), moved, &later)) << "the animation froze";
    TapKey(Server.Conn, XK_a);
    ExpectExit(Clock::now(), Ms(3000), 0, "key while animating");
    EXPECT_EQ(ReadStderr(Prog), "");
}

INSTANTIATE_TEST_SUITE_P(E2e, Picture, testing::Values(std::array{1280, 1024, 188}, std::array{1080, 1920, 84}));

}  // namespace
