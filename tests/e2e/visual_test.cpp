// The exact picture on X servers of several sizes and depths, with and without MIT-SHM and in a flat
// ARGB window, whatever glyphfall's command line; glyphfall kept above without a cursor, its later
// frames shown after a refused wake-up; the hack's repainting of an exposed part, its shared memory,
// and memory refused to it.
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "tests/e2e/harness.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>

namespace {

struct Screen {
    int Width, Height, RasterWidth, Depth;
    bool Shm, RefuseWake;   // MIT-SHM offered; the first frame's wake-up refused, as by a full event queue
};

struct Visuals : E2e, testing::WithParamInterface<Screen> {
    void StartHack(const Strings& args) { Launch(args, {}, GLYPHFALL_HACK); }
    // A window of the test's own at (0, 0) with a red background, in the
    // screen's visual or the depth-32 ARGB one.
    Window MakeWindow(bool argb, unsigned width = 320, unsigned height = 240)
    {
        Display* d = Server.Conn;
        XVisualInfo info = {DefaultVisual(d, 0), 0, 0, DefaultDepth(d, 0), 0, 0, 0, 0, 0, 0};
        EXPECT_TRUE(!argb || XMatchVisualInfo(d, 0, 32, TrueColor, &info)) << "no ARGB visual";
        XSetWindowAttributes a = {};
        a.colormap = XCreateColormap(d, DefaultRootWindow(d), info.visual, AllocNone);
        a.background_pixel = info.visual->red_mask;
        const Window w = XCreateWindow(d, DefaultRootWindow(d), 0, 0, width, height, 0, info.depth, InputOutput,
                                       info.visual, CWColormap | CWBorderPixel | CWBackPixel, &a);
        XMapWindow(d, w);
        XSync(d, False);
        return w;
    }
    // The letter, then coloured frames, each the exact enlargement of the raster over window (0: the
    // screen), opaque; then still changing each second for some seconds (the hack's for several:
    // glyphfall's blocks are gone within about one).
    void ExpectPicture(Window window, const std::string& what, int seconds, int rasterWidth)
    {
        // SDL without MIT-SHM puts glyphfall's picture in pieces (Xlib splits
        // large images): a screenshot may catch one half-way.
        Screenshot shot;
        for (auto phase : {IsTwoTone, HasColour}) {
            auto exact = [&](const Screenshot& s) { return phase(s) && !EnlargementErrors(s, rasterWidth); };
            ASSERT_TRUE(WaitForScreen(Server.Conn, Ms(20000), exact, &shot, window))
                << what << ": no exact " << (phase == IsTwoTone ? "letter" : "coloured frame") << ", "
                << EnlargementErrors(shot, rasterWidth) << " pixels off; " << ReadStderr(Prog);
            EXPECT_TRUE(shot.Opaque) << what << ": pixels left transparent";
        }
        for (int second = 0; second < seconds; ++second) {
            std::this_thread::sleep_for(Ms(1000));
            const Screenshot before = shot;
            auto moved = [&](const Screenshot& s) { return s.Pixels != before.Pixels; };
            ASSERT_TRUE(WaitForScreen(Server.Conn, Ms(5000), moved, &shot, window)) << what << ": froze";
        }
    }
};

TEST_P(Visuals, GlyphfallAndTheHackShowTheExactPicture)
{
    const Screen c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartServer(c.Width, c.Height, c.Shm ? Strings{} : Strings{"-extension", "MIT-SHM"},
                                        c.Depth));
    const char* asan = std::getenv("ASAN_OPTIONS");
    Launch({"--help", "-s", "/nonexistent"}, {"LD_PRELOAD=" + std::string(c.RefuseWake ? REFUSE_WAKE : ""),
                                              "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":verify_asan_link_order=0"});
    ASSERT_NO_FATAL_FAILURE(ExpectPicture(0, "glyphfall", 1, c.RasterWidth));
    // The topmost window, which covers the screen, asks to stay above the others; no cursor shows.
    Display* d = Server.Conn;
    int format;
    unsigned long count = 0, after;
    Atom type, *states = nullptr;
    XGetWindowProperty(d, TopWindows(d).back(), XInternAtom(d, "_NET_WM_STATE", 0), 0, 16, False, XA_ATOM, &type,
                       &format, &count, &after, reinterpret_cast<unsigned char**>(&states));
    EXPECT_NE(std::count(states, states + count, XInternAtom(d, "_NET_WM_STATE_ABOVE", 0)), 0) << "not kept above";
    XFree(states);
    XFixesCursorImage* cursor = XFixesGetCursorImage(d);
    ASSERT_NE(cursor, nullptr);
    const auto clear = [](unsigned long argb) { return argb >> 24 == 0; };
    EXPECT_TRUE(std::all_of(cursor->pixels, cursor->pixels + cursor->width * cursor->height, clear)) << "a cursor";
    XFree(cursor);
    TapKey(d, XK_a);   // an exit, with the address build's leak check
    ExpectExit(Clock::now(), Ms(3000), 0, "", "key while animating");
    // Any client may set a virtual root property, in any format: one byte names no window.
    const unsigned char byte = 7;
    XChangeProperty(d, XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0),
                    XInternAtom(d, "__SWM_VROOT", False), XA_WINDOW, 8, PropModeReplace, &byte, 1);
    // Frames that keep coming are checked once: the depth does not change the pacing. Elsewhere one step
    // in 10 s (--delay is in microseconds): no new frame repaints the picture meanwhile, an exposed part
    // must be repainted at once, and SIGTERM ends the pause promptly.
    const bool moving = c.Depth == 24 && c.Shm;
    ASSERT_NO_FATAL_FAILURE(StartHack(moving ? Strings{"--root"} : Strings{"--root", "--delay", "10000000"}));
    ASSERT_NO_FATAL_FAILURE(ExpectPicture(0, "the hack on the root", moving ? 3 : 0, c.RasterWidth));
    if (!moving) {
        std::this_thread::sleep_for(Ms(500));
        Screenshot shot, now;
        ASSERT_TRUE(TakeScreenshot(d, &shot));
        XUnmapWindow(d, MakeWindow(false, 200, 150));
        XSync(d, False);
        auto same = [&](const Screenshot& s) { return s.Pixels == shot.Pixels; };
        EXPECT_TRUE(WaitForScreen(d, Ms(1000), same, &now)) << "the exposed part is not repainted within 1 s";
        const auto signalled = Clock::now();   // in the middle of a pause
        kill(Prog.Pid, SIGTERM);
        EXPECT_TRUE(ExpectExit(signalled, Ms(300 * GLYPHFALL_SLOWER), 0, "", "SIGTERM, --delay 10000000"));
    }
    // A window flatter than 32:9 gets a 32:9 raster (533 x 150), not one of its own shape, which would
    // cost as much more memory and time as it is wider.
    const Window argb = MakeWindow(true, unsigned(c.Width), 150);
    ASSERT_NO_FATAL_FAILURE(StartHack({"--window-id", std::to_string(argb)}));
    ASSERT_NO_FATAL_FAILURE(ExpectPicture(argb, "the hack in a flat ARGB window", 0, 533));
    if (c.Shm)
        return;
    // Memory refused to the hack, in windows larger than the screen: a pixmap,
    // by a server with 24 MB to spare (the picture is put directly: torn at
    // times, but shown), or the picture itself, under a 150 MB address-space
    // limit (one line, exit code 1; not with the sanitizers, which need more).
    rlim_t pages = 0;   // the server's address space
    std::ifstream("/proc/" + std::to_string(Server.Pid) + "/statm") >> pages;
    const rlimit limit = {pages * rlim_t(sysconf(_SC_PAGESIZE)) + (24 << 20), RLIM_INFINITY};
    ASSERT_EQ(prlimit(Server.Pid, RLIMIT_AS, &limit, nullptr), 0);
    StartHack({"--window-id", std::to_string(MakeWindow(false, 3000, 3000))});
    auto drawn = [](const Screenshot& s) { return std::count(s.Pixels.begin(), s.Pixels.end(), 0xFF0000u) == 0; };
    Screenshot shot;
    EXPECT_TRUE(WaitForScreen(d, Ms(20000), drawn, &shot)) << "no picture without a pixmap; " << ReadStderr(Prog);
    if (GLYPHFALL_SLOWER == 1) {
        Launch({"-c", "ulimit -v 150000 && exec \"$0\" --window-id $1", GLYPHFALL_HACK,
                std::to_string(MakeWindow(false, 8000, 8000))}, {}, "/bin/sh");
        EXPECT_TRUE(ExpectExit(Prog.Started, Ms(3000), 1, "8000x8000): memory refused", "8000x8000 in 150 MB"));
    }
}

INSTANTIATE_TEST_SUITE_P(E2e, Visuals, testing::Values(Screen{1280, 1024, 188, 24, true, false},
                                                       Screen{1080, 1920, 84, 30, true, true},
                                                       Screen{640, 480, 200, 24, false, false}));

// The server killed while the hack makes image after image: no segment of the
// hack's may outlive it (one not yet marked for removal would stay for good).
TEST_F(Visuals, HackLeavesNoSharedMemoryWhenTheServerDiesMidResize)
{
    for (int round = 0; round < 10; ++round) {
        ASSERT_NO_FATAL_FAILURE(StartServer(640, 480));
        Display* d = Server.Conn;
        const Window window = MakeWindow(false);
        ASSERT_NO_FATAL_FAILURE(StartHack({"--window-id", std::to_string(window)}));
        XWindowAttributes a = {};   // until the hack listens to the window's size
        for (auto end = Clock::now() + Ms(10000); !(a.all_event_masks & StructureNotifyMask) && Clock::now() < end;)
            XGetWindowAttributes(d, window, &a);
        ASSERT_TRUE(a.all_event_masks & StructureNotifyMask) << ReadStderr(Prog);
        // The hack answers each size with a new image; it is killed mid-way.
        for (auto end = Clock::now() + Ms(100 + 7 * round); Clock::now() < end; XFlush(d))
            for (int i = 0; i < 100; ++i)
                XResizeWindow(d, window, unsigned(1 + i % 7), unsigned(1 + i % 5));
        const pid_t hack = Prog.Pid;
        StopXServer(&Server, SIGKILL);
        ASSERT_TRUE(WaitExit(&Prog, Ms(5000)));
        std::ifstream table("/proc/sysvipc/shm");
        table.ignore(1 << 20, '\n');   // the heading
        for (long key, id, perms, size, creator; table >> key >> id >> perms >> size >> creator;) {
            EXPECT_NE(creator, hack) << "round " << round << ": segment " << id << " left behind";
            table.ignore(1 << 20, '\n');
        }
    }
}

}  // namespace
