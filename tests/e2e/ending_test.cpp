// What ends the program, and how: a key, a left or right click, a move of
// more than 3 pixels on either axis, SIGTERM or SIGINT end it promptly with
// exit code 0 and nothing said; the X server dying, with exit code 1 and one
// line. The middle button, the wheel, Alt, F10 and moves of at most 3 pixels
// leave it running.
#include "tests/e2e/harness.h"

#include <cstdlib>
#include <thread>

#include <X11/keysym.h>

namespace {

using Action = void (*)(E2e*);

struct EndCase {
    const char* Name;
    bool WhileLetter;     // acts while the letter shows, not while animating
    Action Ignored;       // must leave the program running (nullptr: none)
    Action Ending;        // must end it within BoundMs with exit code Code
    int BoundMs, Code;
    const char* Says;     // what its one line says ("": nothing said)
};

// Moves of 3 pixels on one axis or both, each its own motion event.
void ThreePixelSteps(E2e* t)
{
    for (const auto& [dx, dy] : {std::pair{3, 0}, {0, 3}, {3, 3}, {-3, 3}, {3, -3}, {3, 3}}) {
        MoveBy(t->Server.Conn, dx, dy);
        std::this_thread::sleep_for(Ms(20));
    }
}

const EndCase Cases[] = {
    {"KeyWhileAnimating", false, nullptr, [](E2e* t) { TapKey(t->Server.Conn, XK_a); }, 3000, 0, ""},
    // Input waits while the first scene is built: the end comes after the letter's second.
    {"KeyWhileTheLetterShows", true, nullptr, [](E2e* t) { TapKey(t->Server.Conn, XK_space); }, 3000, 0, ""},
    {"LeftClickNotMiddleOrWheel", false,
     [](E2e* t) {
         for (unsigned button : {2, 4, 5, 6, 7})
             ClickButton(t->Server.Conn, button);
     },
     [](E2e* t) { ClickButton(t->Server.Conn, 1); }, 3000, 0, ""},
    {"RightClickNotAltOrF10", false,
     [](E2e* t) {
         TapKey(t->Server.Conn, XK_Alt_L);
         TapKey(t->Server.Conn, XK_a, XK_Alt_L);
         TapKey(t->Server.Conn, XK_F10);
     },
     [](E2e* t) { ClickButton(t->Server.Conn, 3); }, 3000, 0, ""},
    {"FourPixelsRightNotThree", false, ThreePixelSteps, [](E2e* t) { MoveBy(t->Server.Conn, 4, 0); }, 3000, 0, ""},
    {"FourPixelsUpNotThree", false, ThreePixelSteps, [](E2e* t) { MoveBy(t->Server.Conn, 0, -4); }, 3000, 0, ""},
    // A stop signal cuts the letter's second short: the bound is below it.
    {"TermWhileTheLetterShows", true, nullptr, [](E2e* t) { kill(t->Prog.Pid, SIGTERM); }, 700, 0, ""},
    {"IntWhileTheLetterShows", true, nullptr, [](E2e* t) { kill(t->Prog.Pid, SIGINT); }, 700, 0, ""},
    {"TermWhileAnimating", false, nullptr, [](E2e* t) { kill(t->Prog.Pid, SIGTERM); }, 3000, 0, ""},
    {"IntWhileAnimating", false, nullptr, [](E2e* t) { kill(t->Prog.Pid, SIGINT); }, 3000, 0, ""},
    {"TheXServerDying", false, nullptr, [](E2e* t) { StopXServer(&t->Server, SIGKILL); }, 2000, 1, "X server"},
};

struct Ends : E2e, testing::WithParamInterface<EndCase> {};

TEST_P(Ends, WhenItShould)
{
    const EndCase& c = GetParam();
    StartServer(1280, 1024);
    // ThreadSanitizer's exit hook otherwise waits a second for running threads.
    const char* tsan = std::getenv("TSAN_OPTIONS");
    Launch({}, {"TSAN_OPTIONS=" + std::string(tsan ? tsan : "") + " atexit_sleep_ms=0"});
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitForPhase(c.WhileLetter));
    if (c.Ignored) {
        c.Ignored(this);
        ASSERT_FALSE(WaitExit(&Prog, Ms(700))) << "ended by input to ignore: " << DescribeStatus(Prog.ExitStatus);
    }
    c.Ending(this);
    ExpectExit(Clock::now(), Ms(c.BoundMs), c.Code, c.Says, c.Name);
}

INSTANTIATE_TEST_SUITE_P(E2e, Ends, testing::ValuesIn(Cases), [](const auto& info) { return info.param.Name; });

}  // namespace
