// What the program shows: a full-screen top-most window without a cursor,
// the two-tone letter enlarged exactly from its 150-row raster, then
// coloured blocks that move; a key ends it.
#include "tests/e2e/harness.h"

#include <sys/wait.h>

#include <cstdio>
#include <sstream>

#include <X11/keysym.h>

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

// Checks that the screenshot is the nearest-neighbour enlargement of a
// rasterWidth x 150 picture: screen column X shows raster column
// floor(X * rasterWidth / width), row Y raster row floor(Y * 150 / height),
// so every pixel equals the first screen pixel of its raster cell. Reports
// the first differences; returns the raster read back from those first
// pixels (0xRRGGBB, row by row).
std::vector<uint32_t> ExpectExactEnlargement(const Screenshot& shot, int rasterWidth)
{
    constexpr int rasterHeight = 150;
    std::vector<int> column(size_t(shot.Width)), row(size_t(shot.Height));
    std::vector<int> firstX(size_t(rasterWidth), -1), firstY(size_t(rasterHeight), -1);
    for (int x = 0; x < shot.Width; ++x) {
        column[size_t(x)] = int(int64_t(x) * rasterWidth / shot.Width);
        if (firstX[size_t(column[size_t(x)])] < 0)
            firstX[size_t(column[size_t(x)])] = x;
    }
    for (int y = 0; y < shot.Height; ++y) {
        row[size_t(y)] = int(int64_t(y) * rasterHeight / shot.Height);
        if (firstY[size_t(row[size_t(y)])] < 0)
            firstY[size_t(row[size_t(y)])] = y;
    }
    std::vector<uint32_t> raster(size_t(rasterWidth) * rasterHeight);
    for (int cy = 0; cy < rasterHeight; ++cy)
        for (int cx = 0; cx < rasterWidth; ++cx)
            raster[size_t(cy) * size_t(rasterWidth) + size_t(cx)] = shot.At(firstX[size_t(cx)], firstY[size_t(cy)]);

    size_t wrong = 0;
    std::ostringstream first;
    for (int y = 0; y < shot.Height; ++y)
        for (int x = 0; x < shot.Width; ++x) {
            const int cx = column[size_t(x)], cy = row[size_t(y)];
            const uint32_t expected = raster[size_t(cy) * size_t(rasterWidth) + size_t(cx)];
            if (shot.At(x, y) == expected)
                continue;
            if (++wrong <= 5)
                first << "\n  screen (" << x << ", " << y << ") is 0x" << std::hex << shot.At(x, y)
                      << ", expected 0x" << expected << std::dec << " like raster cell (" << cx << ", " << cy
                      << ") first shown at (" << firstX[size_t(cx)] << ", " << firstY[size_t(cy)] << ")";
        }
    EXPECT_EQ(wrong, 0u) << wrong << " of " << shot.Pixels.size() << " screen pixels are not the enlargement of a "
                         << rasterWidth << "x150 raster on a " << shot.Width << "x" << shot.Height
                         << " screen:" << first.str();
    return raster;
}

// The whole life of one run on one screen size, checked step by step.
void CheckPictureAndAnimation(E2e* t, int width, int height, int rasterWidth)
{
    SCOPED_TRACE(testing::Message() << width << "x" << height);
    t->StartServer(width, height);
    if (t->HasFatalFailure())
        return;
    Display* d = t->Server.Conn;
    ASSERT_EQ(t->Server.Width, width);
    ASSERT_EQ(t->Server.Height, height);
    t->Launch();
    if (t->HasFatalFailure())
        return;

    // The window: the whole screen, mapped, asking to stay above others.
    // (Without a window manager nobody adds the full-screen state; the
    // geometry is what counts here.)
    const Window window = WaitForTopLevel(d, "MyWKlass", nullptr, 10s);
    ASSERT_NE(window, 0u) << "no window of class MyWKlass; stderr: " << ReadStderr(t->Prog);
    const double windowMs = MsBetween(t->Prog.Started, Clock::now());
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(d, window, &a));
    Window child;
    int rootX = -1, rootY = -1;
    XTranslateCoordinates(d, window, DefaultRootWindow(d), 0, 0, &rootX, &rootY, &child);
    EXPECT_EQ(rootX, 0);
    EXPECT_EQ(rootY, 0);
    EXPECT_EQ(a.width, width);
    EXPECT_EQ(a.height, height);
    EXPECT_TRUE(HasNetWmState(d, window, "_NET_WM_STATE_ABOVE"));

    // The letter: pure black and white, exactly enlarged.
    Screenshot letter;
    Clock::time_point letterSeen;
    ASSERT_TRUE(WaitForScreen(d, 10s, IsTwoTone, &letter, &letterSeen))
        << "no two-tone picture on screen; program "
        << (StillRunning(&t->Prog) ? "still runs" : DescribeStatus(t->Prog.ExitStatus))
        << ", stderr: " << ReadStderr(t->Prog);
    const std::vector<uint32_t> raster = ExpectExactEnlargement(letter, rasterWidth);
    size_t black = 0, blackAboveCell = 0;
    for (size_t i = 0; i < raster.size(); ++i) {
        black += raster[i] == 0;
        blackAboveCell += raster[i] == 0 && i < size_t(20 * rasterWidth);
    }
    EXPECT_GT(black, 0u) << "the letter left no black cell";
    EXPECT_LT(black, raster.size() / 2) << "black must be the minority tone";
    EXPECT_EQ(blackAboveCell, 0u) << "ink above row 20, where the letter's cell begins";
    EXPECT_TRUE(CursorIsHidden(d)) << "the cursor is visible over the window";

    // The blocks: colour on screen about a second after the letter.
    Screenshot blocks;
    Clock::time_point blocksSeen;
    ASSERT_TRUE(WaitForScreen(
        d, 10s, [](const Screenshot& s) { return ColouredPixels(s) > 0; }, &blocks, &blocksSeen))
        << "no coloured blocks; stderr: " << ReadStderr(t->Prog);
    const double letterMs = MsBetween(t->Prog.Started, letterSeen);
    const double blocksMs = MsBetween(t->Prog.Started, blocksSeen);
    std::printf("[e2e] %dx%d: window after %.0f ms, two-tone letter seen at %.0f ms, coloured blocks at %.0f ms "
                "(%zu coloured pixels)\n",
                width, height, windowMs, letterMs, blocksMs, ColouredPixels(blocks));
    // The letter stays a second; screenshots are at most ~100 ms apart.
    EXPECT_GE(blocksMs - letterMs, 800.0) << "the two-tone letter was not shown for its second";

    // The blocks move: a later frame differs from the first one seen.
    Screenshot later;
    Clock::time_point laterSeen;
    EXPECT_TRUE(WaitForScreen(
        d, 10s, [&](const Screenshot& s) { return ColouredPixels(s) > 0 && s.Pixels != blocks.Pixels; }, &later,
        &laterSeen))
        << "the animation froze on its first frame";

    // A key ends it at once, with nothing said.
    TapKey(d, XK_a);
    const auto pressed = Clock::now();
    const double ms = t->ExpectEnds(pressed, 3000ms, std::to_string(width) + "x" + std::to_string(height) +
                                                         ": key 'a' while animating");
    if (ms >= 0) {
        EXPECT_TRUE(WIFEXITED(t->Prog.ExitStatus) && WEXITSTATUS(t->Prog.ExitStatus) == 0)
            << DescribeStatus(t->Prog.ExitStatus);
        EXPECT_EQ(ReadStderr(t->Prog), "");
    }
}

}  // namespace

TEST_F(E2e, Screen1280x1024ShowsTheLetterEnlargedThenMovingBlocks)
{
    CheckPictureAndAnimation(this, 1280, 1024, 188);
}

TEST_F(E2e, Screen1920x1080ShowsTheLetterEnlargedThenMovingBlocks)
{
    CheckPictureAndAnimation(this, 1920, 1080, 267);
}
