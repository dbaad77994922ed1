// Faults: the X server dying under the program, stop signals in each phase,
// a storm of small moves, and a screen too narrow for a raster.
#include "tests/e2e/harness.h"

#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <thread>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

size_t CountLines(const std::string& text)
{
    size_t n = 0;
    for (char c : text)
        n += c == '\n';
    return n;
}

// "glyphfall: Application Error: Exception EOutOfResources in module
// glyphfall at XXXXXXXX." (eight upper-case hex digits), then one line with
// the reason ending in a full stop, and nothing else.
bool IsErrorBoxText(const std::string& text)
{
    const std::string head = "glyphfall: Application Error: Exception EOutOfResources in module glyphfall at ";
    if (text.compare(0, head.size(), head) != 0 || text.size() < head.size() + 10)
        return false;
    for (size_t i = head.size(); i < head.size() + 8; ++i)
        if (!std::isdigit(static_cast<unsigned char>(text[i])) && !(text[i] >= 'A' && text[i] <= 'F'))
            return false;
    const std::string rest = text.substr(head.size() + 8);
    return rest.size() > 4 && rest.compare(0, 2, ".\n") == 0 && rest.find('\n', 2) == rest.size() - 1 &&
           rest[rest.size() - 2] == '.';
}

struct SignalCase {
    int Signal;
    const char* SignalName;
    E2e::Phase When;
};

// A stop signal in the given phase ends the program cleanly: exit 0,
// nothing on stderr, well within the bound.
void RunSignalCase(E2e* t, const SignalCase& c)
{
    const std::string name = std::string(c.SignalName) +
                             (c.When == E2e::WhileAnimating ? " while animating" : " while the first scene is built");
    SCOPED_TRACE(name);
    t->Launch();
    if (t->HasFatalFailure())
        return;
    if (!t->WaitForPhase(c.When))
        return;
    ASSERT_EQ(kill(t->Prog.Pid, c.Signal), 0);
    const auto sent = Clock::now();
    if (t->ExpectEnds(sent, 3000ms, name) < 0)
        return;
    EXPECT_TRUE(WIFEXITED(t->Prog.ExitStatus) && WEXITSTATUS(t->Prog.ExitStatus) == 0)
        << name << ": " << DescribeStatus(t->Prog.ExitStatus);
    EXPECT_EQ(ReadStderr(t->Prog), "") << name;
}

}  // namespace

TEST_F(E2e, TheXServerDyingEndsTheProgramAtOnceWithOneLine)
{
    StartServer(1280, 1024);
    ASSERT_FALSE(HasFatalFailure());
    // ThreadSanitizer builds: its exit hook otherwise waits a second for the
    // threads still running, which is its own delay, not the program's.
    const char* tsan = std::getenv("TSAN_OPTIONS");
    Launch({}, {"TSAN_OPTIONS=" + std::string(tsan ? tsan : "") + " atexit_sleep_ms=0"});
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitUntilAnimating());
    const auto killed = Clock::now();
    StopXServer(&Server, SIGKILL);
    if (ExpectEnds(killed, 1000ms, "X server killed while animating") < 0)
        return;
    EXPECT_TRUE(WIFEXITED(Prog.ExitStatus) && WEXITSTATUS(Prog.ExitStatus) != 0)
        << "expected a non-zero exit code, not " << DescribeStatus(Prog.ExitStatus);
    const std::string text = ReadStderr(Prog);
    std::printf("[e2e] X server killed, stderr: %s", text.c_str());
    EXPECT_EQ(CountLines(text), 1u) << "expected one line, got:\n" << text;
    EXPECT_NE(text.find("X server"), std::string::npos) << text;
}

TEST_F(E2e, StopSignalsEndTheProgramCleanlyInEachPhase)
{
    StartServer(1280, 1024);
    ASSERT_FALSE(HasFatalFailure());
    const SignalCase cases[] = {
        {SIGTERM, "SIGTERM", E2e::WhileTheLetterShows},
        {SIGINT, "SIGINT", E2e::WhileTheLetterShows},
        {SIGTERM, "SIGTERM", E2e::WhileAnimating},
        {SIGINT, "SIGINT", E2e::WhileAnimating},
    };
    for (const SignalCase& c : cases) {
        RunSignalCase(this, c);
        KillProgram(&Prog);
    }
}

TEST_F(E2e, AStormOfSmallMovesDoesNotEndItOneLargerMoveDoes)
{
    StartServer(1280, 1024);
    ASSERT_FALSE(HasFatalFailure());
    Display* d = Server.Conn;
    Launch();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitUntilAnimating());

    // A random walk of steps of at most 3 pixels per axis, kept within 100
    // pixels of where it started so that no step is cut short by an edge.
    int x0, y0;
    PointerAt(d, &x0, &y0);
    int x = x0, y = y0;
    uint32_t seed = 12345;
    auto next = [&seed](int n) {
        seed = seed * 1664525u + 1013904223u;
        return int((seed >> 16) % uint32_t(n));
    };
    const auto started = Clock::now();
    for (int i = 0; i < 10000; ++i) {
        int dx = next(7) - 3, dy = next(7) - 3;
        if (std::abs(x + dx - x0) > 100)
            dx = -dx;
        if (std::abs(y + dy - y0) > 100)
            dy = -dy;
        x += dx;
        y += dy;
        XTestFakeRelativeMotionEvent(d, dx, dy, CurrentTime);
        if (i % 100 == 99)
            XSync(d, False);
    }
    XSync(d, False);
    std::printf("[e2e] 10,000 moves of at most 3 px injected in %.0f ms\n", MsBetween(started, Clock::now()));
    int px, py;
    PointerAt(d, &px, &py);
    EXPECT_EQ(px, x) << "the pointer did not follow the storm";
    EXPECT_EQ(py, y) << "the pointer did not follow the storm";
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(StillRunning(&Prog)) << "the storm ended the program: " << DescribeStatus(Prog.ExitStatus);

    MoveTo(d, x, y + 10);
    if (ExpectEnds(Clock::now(), 3000ms, "a 10 px move after the storm") < 0)
        return;
    EXPECT_TRUE(WIFEXITED(Prog.ExitStatus) && WEXITSTATUS(Prog.ExitStatus) == 0) << DescribeStatus(Prog.ExitStatus);
    EXPECT_EQ(ReadStderr(Prog), "");
}

// A screen one pixel wide gives a raster of no columns: the program shows the
// error box, says the same on stderr, and ends with exit code 1 once the box
// is dismissed.
TEST_F(E2e, AScreenTooNarrowForARasterShowsTheErrorBoxAndExits1)
{
    StartServer(1, 1000);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(Server.Width, 1);
    Launch();
    ASSERT_FALSE(HasFatalFailure());
    const Window box = WaitForTopLevel(Server.Conn, nullptr, "Application Error", 10s);
    const std::string text = ReadStderr(Prog);
    std::printf("[e2e] 1x1000 screen, stderr: %s", text.c_str());
    EXPECT_TRUE(IsErrorBoxText(text)) << "stderr was:\n" << text;
    ASSERT_NE(box, 0u) << "no \"Application Error\" box; program "
                       << (StillRunning(&Prog) ? "still runs" : DescribeStatus(Prog.ExitStatus))
                       << " (the box needs the X core fonts of xfonts-base)";
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(StillRunning(&Prog)) << "the program did not wait for the box: " << DescribeStatus(Prog.ExitStatus);

    // No window manager gives the new box the focus: do it as one would.
    XSetInputFocus(Server.Conn, box, RevertToPointerRoot, CurrentTime);
    XSync(Server.Conn, False);
    TapKey(Server.Conn, XK_Return);
    if (ExpectEnds(Clock::now(), 3000ms, "error box dismissed with Return") < 0)
        return;
    EXPECT_TRUE(WIFEXITED(Prog.ExitStatus) && WEXITSTATUS(Prog.ExitStatus) == 1) << DescribeStatus(Prog.ExitStatus);

    // Nobody answers the box: a SIGTERM still ends the program.
    Launch();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_NE(WaitForTopLevel(Server.Conn, nullptr, "Application Error", 10s), 0u);
    ASSERT_EQ(kill(Prog.Pid, SIGTERM), 0);
    if (ExpectEnds(Clock::now(), 3000ms, "SIGTERM while the error box waits") < 0)
        return;
    EXPECT_TRUE(WIFSIGNALED(Prog.ExitStatus) && WTERMSIG(Prog.ExitStatus) == SIGTERM) << DescribeStatus(Prog.ExitStatus);
}
