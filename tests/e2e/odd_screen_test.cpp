// The real program on odd screens: tiny, square, portrait, 8K and an extreme
// 16384x64. Each runs through its letter into the animation without a crash
// or a message, and a key still ends it with exit code 0.
#include "tests/e2e/harness.h"

#include <sys/wait.h>

#include <cstdio>
#include <thread>

#include <X11/keysym.h>

using namespace std::chrono_literals;

namespace {

void RunOnScreen(E2e* t, int width, int height)
{
    SCOPED_TRACE(testing::Message() << width << "x" << height);
    t->StartServer(width, height);
    if (t->HasFatalFailure())
        return;
    t->Launch();
    if (t->HasFatalFailure())
        return;
    ASSERT_NE(WaitForTopLevel(t->Server.Conn, "MyWKlass", nullptr, 10s), 0u)
        << "no window; stderr: " << ReadStderr(t->Prog);
    // Into the animation. Where the screen can show the blocks, wait until it
    // does: a sanitized build takes seconds over the first scene of a huge
    // raster, and input waits for that scene. The tiniest screens show no
    // block to wait for; they get the letter's second and more.
    if (width >= 150 && height >= 64) {
        if (!t->WaitUntilAnimating())
            return;
    } else {
        std::this_thread::sleep_for(1800ms);
    }
    ASSERT_TRUE(StillRunning(&t->Prog)) << DescribeStatus(t->Prog.ExitStatus) << ", stderr: " << ReadStderr(t->Prog);
    TapKey(t->Server.Conn, XK_space);
    const double ms = t->ExpectEnds(Clock::now(), 3000ms, "key on an odd screen");
    if (ms < 0)
        return;
    std::printf("[e2e] %dx%d: ran into the animation, exit after %.0f ms\n", width, height, ms);
    EXPECT_TRUE(WIFEXITED(t->Prog.ExitStatus) && WEXITSTATUS(t->Prog.ExitStatus) == 0)
        << DescribeStatus(t->Prog.ExitStatus);
    EXPECT_EQ(ReadStderr(t->Prog), "");
}

}  // namespace

TEST_F(E2e, OddScreenSizesRunAndEndCleanly)
{
    const struct { int w, h; } screens[] = {{1, 1}, {2, 3}, {150, 150}, {640, 480}, {1080, 1920}, {7680, 4320}, {16384, 64}};
    for (const auto& s : screens) {
        RunOnScreen(this, s.w, s.h);
        KillProgram(&Prog);
        StopXServer(&Server);
    }
}
