// Which input ends the program: a key, a left or right click, a move of more
// than 3 pixels on either axis; not the middle button, the wheel, Alt, F10 or
// moves of at most 3 pixels, however many.
#include "tests/e2e/harness.h"

#include <thread>

#include <X11/keysym.h>

namespace {

using Input = void (*)(Display*);

struct InputCase {
    const char* Name;
    bool WhileLetter;   // given while the letter shows, not while animating
    Input Ignored;      // must leave the program running (nullptr: none)
    Input Ending;       // must end it with exit code 0
};

// Steps of 3 pixels on one axis or both, each its own motion event.
void ThreePixelSteps(Display* d, bool absolute)
{
    const int steps[][2] = {{3, 0}, {0, 3}, {3, 3}, {-3, 3}, {3, -3}, {3, 3}};
    int x = 0, y = 0, wx, wy;
    unsigned mask;
    Window root, child;
    XQueryPointer(d, DefaultRootWindow(d), &root, &child, &x, &y, &wx, &wy, &mask);
    for (const auto& s : steps) {
        x += s[0], y += s[1];
        absolute ? MoveTo(d, x, y) : MoveBy(d, s[0], s[1]);
        std::this_thread::sleep_for(Ms(20));
    }
}

const InputCase Cases[] = {
    {"KeyWhileAnimating", false, nullptr, [](Display* d) { TapKey(d, XK_a); }},
    {"KeyWhileTheLetterShows", true, nullptr, [](Display* d) { TapKey(d, XK_space); }},
    {"LeftClickNotMiddleOrWheel", false,
     [](Display* d) {
         for (unsigned button : {2, 4, 5, 6, 7})
             ClickButton(d, button);
     },
     [](Display* d) { ClickButton(d, 1); }},
    {"RightClickNotAltOrF10", false,
     [](Display* d) {
         TapKey(d, XK_Alt_L);
         TapKey(d, XK_a, XK_Alt_L);
         TapKey(d, XK_F10);
     },
     [](Display* d) { ClickButton(d, 3); }},
    {"FourPixelsRightNotThree", false, [](Display* d) { ThreePixelSteps(d, false); },
     [](Display* d) { MoveBy(d, 4, 0); }},
    {"FourPixelsUpNotThree", false, [](Display* d) { ThreePixelSteps(d, true); },
     [](Display* d) { MoveBy(d, 0, -4); }},
};

struct Inputs : E2e, testing::WithParamInterface<InputCase> {};

TEST_P(Inputs, EndOrNot)
{
    const InputCase& c = GetParam();
    StartServer(1280, 1024);
    Launch();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitForPhase(c.WhileLetter));
    if (c.Ignored) {
        c.Ignored(Server.Conn);
        ASSERT_FALSE(WaitExit(&Prog, Ms(700))) << "ended by ignored input: " << DescribeStatus(Prog.ExitStatus);
    }
    c.Ending(Server.Conn);
    ExpectExit(Clock::now(), Ms(3000), 0, c.Name);
    EXPECT_EQ(ReadStderr(Prog), "");
}

INSTANTIATE_TEST_SUITE_P(E2e, Inputs, testing::ValuesIn(Cases), [](const auto& info) { return info.param.Name; });

}  // namespace
