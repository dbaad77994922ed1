// What the program shows, whatever its command line: the two-tone letter,
// then moving coloured blocks, each the exact nearest-neighbour enlargement
// of the 150-row raster over the whole screen, without a cursor.
#include "tests/e2e/harness.h"

#include <algorithm>
#include <array>

#include <X11/Xatom.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>

namespace {

// The window under the pointer, which covers the screen, asks to stay above
// the others and hides the cursor.
void ExpectKeptAboveWithoutCursor(Display* d)
{
    Window root, window = 0;
    int x, y;
    unsigned mask;
    unsigned long count = 0, after;
    Atom type, *states = nullptr;
    XQueryPointer(d, DefaultRootWindow(d), &root, &window, &x, &y, &x, &y, &mask);
    XGetWindowProperty(d, window, XInternAtom(d, "_NET_WM_STATE", 0), 0, 16, False, XA_ATOM, &type, &x, &count,
                       &after, reinterpret_cast<unsigned char**>(&states));
    EXPECT_NE(std::count(states, states + count, XInternAtom(d, "_NET_WM_STATE_ABOVE", 0)), 0) << "not kept above";
    XFree(states);
    XFixesCursorImage* cursor = XFixesGetCursorImage(d);
    ASSERT_NE(cursor, nullptr);
    EXPECT_TRUE(std::all_of(cursor->pixels, cursor->pixels + cursor->width * cursor->height,
                            [](unsigned long argb) { return argb >> 24 == 0; }))
        << "the cursor shows";
    XFree(cursor);
}

// Screen and raster sizes; whether the first frame's wake-up is refused, as
// by a full event queue, after which the later frames must still show.
struct Picture : E2e, testing::WithParamInterface<std::array<int, 4>> {};

TEST_P(Picture, TheLetterThenMovingBlocksEnlargedExactly)
{
    const auto [width, height, rasterWidth, refuseWake] = GetParam();
    StartServer(width, height);
    const char* asan = std::getenv("ASAN_OPTIONS");
    Launch({"--help", "-s", "/nonexistent"},
           {"LD_PRELOAD=" + std::string(refuseWake ? REFUSE_WAKE : ""),
            "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0"});
    ASSERT_FALSE(HasFatalFailure());
    Screenshot letter, frame, later;
    ASSERT_TRUE(WaitForPhase(true, &letter));
    ExpectEnlargement(letter, rasterWidth, "the letter");
    ExpectKeptAboveWithoutCursor(Server.Conn);
    ASSERT_TRUE(WaitForPhase(false, &frame));
    ExpectEnlargement(frame, rasterWidth, "a frame");
    auto moved = [&](const Screenshot& s) { return s.Pixels != frame.Pixels; };
    EXPECT_TRUE(WaitForScreen(Server.Conn, Ms(5000), moved, &later)) << "the animation froze";
    TapKey(Server.Conn, XK_a);
    ExpectExit(Clock::now(), Ms(3000), 0, "", "key while animating");
}

INSTANTIATE_TEST_SUITE_P(E2e, Picture, testing::Values(std::array{1280, 1024, 188, 0}, std::array{1080, 1920, 84, 1}));

}  // namespace
