// glyphfall on a real Wayland compositor: weston's X11 backend nested in the
// test's own Xvfb, so that XTest input reaches the Wayland client and the
// root window shows what weston composited. The letter is enlarged exactly
// on physical pixels, also on an output scaled by 2, where it is drawn at
// 192 DPI; a resting cursor and a 1-pixel move leave it running; a key, or
// the compositor going away, ends it promptly.
#include "tests/e2e/harness.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include <X11/keysym.h>

using namespace std::chrono_literals;

namespace {

// weston and the helpers it starts, all in one process group; killed with
// the test, whatever happened.
struct Weston {
    pid_t Pid = -1;
    ~Weston() { Stop(); }
    void Stop()
    {
        if (Pid <= 0)
            return;
        kill(-Pid, SIGKILL);
        waitpid(Pid, nullptr, 0);
        Pid = -1;
    }
};

// Starts weston on the test's Xvfb, filling it at the given output scale,
// rendering with pixman, its runtime directory the test's private (0700)
// one. True once its socket is there.
bool StartWeston(E2e* t, Weston* weston, int scale, const std::string& socket)
{
    std::vector<std::string> args = {"weston", "--backend=x11-backend.so", "--use-pixman",
                                     "--width=" + std::to_string(t->Server.Width / scale),
                                     "--height=" + std::to_string(t->Server.Height / scale),
                                     "--scale=" + std::to_string(scale), "--socket=" + socket};
    std::vector<std::string> env = ProgramEnvironment({"DISPLAY=" + t->Server.Name, "XDG_RUNTIME_DIR=" + t->TempDir});
    std::vector<char*> argp, envp;
    for (std::string& a : args)
        argp.push_back(a.data());
    for (std::string& e : env)
        envp.push_back(e.data());
    argp.push_back(nullptr);
    envp.push_back(nullptr);
    const std::string log = t->TempDir + "/weston.log";
    weston->Pid = fork();
    if (weston->Pid == 0) {
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(out, 2);
        execvpe("weston", argp.data(), envp.data());
        _exit(127);
    }
    struct stat st;
    for (auto end = Clock::now() + 10s; Clock::now() < end; std::this_thread::sleep_for(10ms))
        if (stat((t->TempDir + "/" + socket).c_str(), &st) == 0)
            return true;
    return false;
}

// Checks that the screen is a rasterWidth x 150 raster enlarged exactly:
// pixel (x, y) shows cell (x * rasterWidth / W, y * 150 / H), so it equals
// the cell's first pixel. Returns the raster read back (0xRRGGBB).
std::vector<uint32_t> ExpectExactEnlargement(const Screenshot& s, int rasterWidth)
{
    std::vector<uint32_t> raster(size_t(rasterWidth) * 150);
    std::vector<bool> seen(raster.size());
    size_t wrong = 0;
    for (int y = 0; y < s.Height; ++y)
        for (int x = 0; x < s.Width; ++x) {
            const size_t cell = size_t(int64_t(y) * 150 / s.Height) * size_t(rasterWidth) +
                                size_t(int64_t(x) * rasterWidth / s.Width);
            if (!seen[cell])
                raster[cell] = s.At(x, y);
            seen[cell] = true;
            wrong += s.At(x, y) != raster[cell];
        }
    EXPECT_EQ(wrong, 0u) << "screen pixels that are not the exact enlargement of a " << rasterWidth << "x150 raster";
    return raster;
}

struct WaylandCase {
    const char* Name;
    int Scale;
    bool InkOnLastRow;    // a 192-pixel em from row 20 runs past the last row; a 96-pixel one does not
    bool CompositorDies;  // ended by killing weston rather than by a key
};

}  // namespace

TEST_F(E2e, WaylandShowsTheLetterExactlyAndEndsOnAKeyOrALostCompositor)
{
    const WaylandCase cases[] = {{"scale 1, ended by a key", 1, false, false},
                                 {"scale 2, ended by the compositor going away", 2, true, true}};
    for (const WaylandCase& c : cases) {
        SCOPED_TRACE(c.Name);
        StopXServer(&Server);
        StartServer(1280, 1024);
        ASSERT_FALSE(HasFatalFailure());
        Display* d = Server.Conn;
        MoveTo(d, 640, 512);  // the cursor rests in the middle from the start
        Weston weston;
        const std::string socket = "glyphfall-wayland-" + std::to_string(c.Scale);
        ASSERT_TRUE(StartWeston(this, &weston, c.Scale, socket)) << "weston did not start; see " << TempDir << "/weston.log";
        std::string error;
        ASSERT_TRUE(SpawnProgram(&Prog, {}, ProgramEnvironment({"WAYLAND_DISPLAY=" + socket, "XDG_RUNTIME_DIR=" + TempDir}),
                                 TempDir, &error)) << error;
        Screenshot shot;
        Clock::time_point letterSeen, blocksSeen;
        ASSERT_TRUE(WaitForScreen(d, 15s, IsTwoTone, &shot, &letterSeen))
            << "no full-screen two-tone letter without a cursor; stderr: " << ReadStderr(Prog);
        const std::vector<uint32_t> raster = ExpectExactEnlargement(shot, 188);
        EXPECT_EQ(std::count(raster.end() - 188, raster.end(), 0u) > 0, c.InkOnLastRow) << "the letter's size";
        ASSERT_TRUE(WaitForScreen(d, 15s, [](const Screenshot& s) { return ColouredPixels(s) > 0; }, &shot, &blocksSeen));
        std::this_thread::sleep_for(300ms);
        ASSERT_TRUE(StillRunning(&Prog)) << "the resting cursor ended it: " << ReadStderr(Prog);
        MoveBy(d, 1, 0);
        std::this_thread::sleep_for(300ms);
        ASSERT_TRUE(StillRunning(&Prog)) << "a 1-pixel move ended it";
        const auto since = Clock::now();
        if (c.CompositorDies)
            weston.Stop();
        else
            TapKey(d, XK_a);
        std::printf("[e2e] wayland %s: letter at %.0f ms, blocks at %.0f ms\n", c.Name,
                    MsBetween(Prog.Started, letterSeen), MsBetween(Prog.Started, blocksSeen));
        if (ExpectEnds(since, 3000ms, std::string("wayland ") + c.Name) < 0)
            continue;
        EXPECT_EQ(DescribeStatus(Prog.ExitStatus), c.CompositorDies ? "exit 1" : "exit 0");
        EXPECT_EQ(ReadStderr(Prog), c.CompositorDies ? "glyphfall: lost the connection to the Wayland compositor\n" : "");
    }
}
