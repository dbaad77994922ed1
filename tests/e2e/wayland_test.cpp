// glyphfall on a real Wayland compositor: weston's X11 backend nested in the
// test's own Xvfb, so that XTest input reaches the Wayland client and the
// root window shows what weston composited. The letter is enlarged exactly
// on physical pixels, also on an output scaled by 2, where it is drawn at
// 192 DPI; a resting cursor and a 1-pixel move leave it running; a key, a
// 4-pixel move, a click or weston's close request end it (exit 0), the
// compositor going away ends it with exit 1, each promptly.
#include "tests/e2e/harness.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <thread>

#include <X11/keysym.h>

namespace {

struct WaylandCase {
    int Scale;                                // weston's output scale
    bool InkOnLastRow;                        // a 192-pixel em from row 20 runs past row 149; 96 pixels do not
    const char* What;
    void (*End)(Display*, Program* weston);   // what ends it: with exit 0, but for weston killed
};

struct Wayland : E2e, testing::WithParamInterface<WaylandCase> {};

TEST_P(Wayland, TheLetterExactOnPhysicalPixelsARestingCursorStaysInputACloseOrALostCompositorEnds)
{
    const WaylandCase c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartServer(1280, 1024));
    Display* d = Server.Conn;
    MoveTo(d, 640, 512);   // the cursor rests in the middle from the start
    // weston fills the Xvfb at the given scale, renders with pixman, keeps
    // its socket in the test's private (0700) directory and sends the close
    // request on F10 (tests/e2e/weston_close.cpp).
    const std::string socket = "wayland-glyphfall";
    const std::string runtime = "XDG_RUNTIME_DIR=" + TempDir;
    Program weston;
    struct Reaper { Program* P; ~Reaper() { KillProgram(P); } } reaper{&weston};   // however the test ends
    std::string error;
    ASSERT_TRUE(SpawnProgram(&weston,
                             {"/usr/bin/weston", "--backend=x11-backend.so", "--use-pixman",
                              "--width=" + std::to_string(1280 / c.Scale), "--height=" + std::to_string(1024 / c.Scale),
                              "--scale=" + std::to_string(c.Scale), "--socket=" + socket,
                              "--modules=" WESTON_CLOSE},
                             ProgramEnvironment({"DISPLAY=" + Server.Name, runtime}), TempDir, &error))
        << error;
    struct stat st;
    for (auto end = Clock::now() + Ms(10000); stat((TempDir + "/" + socket).c_str(), &st) != 0;)
        ASSERT_TRUE(Clock::now() < end && !WaitExit(&weston, Ms(10))) << "no weston: " << ReadStderr(weston);

    // SDL_Quit unloads Mesa's EGL and llvmpipe, whose blocks left at exit
    // LeakSanitizer can then attribute to no library: no leak check here.
    const char* asan = std::getenv("ASAN_OPTIONS");
    ASSERT_NO_FATAL_FAILURE(Launch({}, {"DISPLAY=", "WAYLAND_DISPLAY=" + socket, runtime,
                                        "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":detect_leaks=0"}));
    Screenshot letter;
    ASSERT_TRUE(WaitForPhase(true, &letter)) << "no full-screen two-tone letter without a cursor";
    const std::vector<uint32_t> raster = ExpectEnlargement(letter, 188, "the letter");
    EXPECT_EQ(std::count(raster.end() - 188, raster.end(), 0u) > 0, c.InkOnLastRow) << "the letter's size";
    ASSERT_TRUE(WaitForPhase(false));
    std::this_thread::sleep_for(Ms(300));
    ASSERT_FALSE(WaitExit(&Prog, Ms(0))) << "the resting cursor ended it: " << ReadStderr(Prog);
    // weston draws a cursor into the picture in many shades of grey; blocks
    // are grey only by a rare chance, each in a shade of its own.
    Screenshot frame;
    ASSERT_TRUE(TakeScreenshot(d, &frame));
    ExpectEnlargement(frame, 188, "a frame");
    std::set<uint32_t> greys;
    for (uint32_t p : frame.Pixels)
        if (p != 0xFFFFFF && p == (p & 0xFF) * 0x010101u)
            greys.insert(p);
    EXPECT_LE(greys.size(), 1u) << "the cursor shows over the picture";
    MoveBy(d, 1, 0);
    ASSERT_FALSE(WaitExit(&Prog, Ms(300))) << "a 1-pixel move ended it: " << ReadStderr(Prog);

    const auto since = Clock::now();
    c.End(d, &weston);
    const bool gone = weston.Pid < 0;
    ExpectExit(since, Ms(3000), gone ? 1 : 0, gone ? "lost the connection to the Wayland" : "", c.What);
}

INSTANTIATE_TEST_SUITE_P(
    E2e, Wayland,
    testing::Values(WaylandCase{1, false, "key on Wayland", [](Display* d, Program*) { TapKey(d, XK_a); }},
                    WaylandCase{2, true, "weston killed", [](Display*, Program* weston) { KillProgram(weston); }},
                    // At scale 1: 4 logical pixels.
                    WaylandCase{1, false, "4-pixel move on Wayland", [](Display* d, Program*) { MoveBy(d, 4, 0); }},
                    WaylandCase{2, true, "left click on Wayland", [](Display* d, Program*) { ClickButton(d, 1); }},
                    WaylandCase{1, false, "weston's close request", [](Display* d, Program*) { TapKey(d, XK_F10); }}));

}  // namespace
