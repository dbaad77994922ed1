// Which input ends the program: ordinary keys, left and right clicks and
// moves of more than 3 pixels do, at once; the middle button, the wheel,
// system keys and moves of at most 3 pixels do not. Arguments are ignored.
#include "tests/e2e/harness.h"

#include <sys/wait.h>

#include <functional>
#include <thread>

#include <X11/keysym.h>

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

struct Action {
    const char* What;
    std::function<void(Display*)> Do;
};

struct InputCase {
    const char* Name;
    E2e::Phase When;
    std::vector<Action> Ignored;   // each must leave the program running
    Action Ending;                 // must end it with exit code 0
};

// Moves by each step in turn, giving the program one motion event per step,
// and checks that the pointer really went where the steps lead.
void MoveSteps(Display* d, const std::vector<std::pair<int, int>>& steps, bool absolute)
{
    int x, y;
    PointerAt(d, &x, &y);
    for (const auto& [dx, dy] : steps) {
        x += dx;
        y += dy;
        if (absolute)
            MoveTo(d, x, y);
        else
            MoveBy(d, dx, dy);
        std::this_thread::sleep_for(20ms);
    }
    int nx, ny;
    PointerAt(d, &nx, &ny);
    EXPECT_EQ(nx, x) << "the pointer did not follow the injected moves";
    EXPECT_EQ(ny, y) << "the pointer did not follow the injected moves";
}

// Steps of exactly 3 pixels on one axis or both, adding up to far more.
const std::vector<std::pair<int, int>> ThreePixelSteps = {{3, 0}, {3, 0}, {0, 3}, {3, 3}, {-3, 3}, {3, -3}, {3, 3}};

void RunInputCase(E2e* t, const InputCase& c)
{
    SCOPED_TRACE(c.Name);
    t->Launch();
    if (t->HasFatalFailure())
        return;
    Display* d = t->Server.Conn;
    if (!t->WaitForPhase(c.When))
        return;
    for (const Action& a : c.Ignored) {
        a.Do(d);
        std::this_thread::sleep_for(200ms);
        ASSERT_TRUE(StillRunning(&t->Prog)) << c.Name << ": " << a.What << " ended the program ("
                                            << DescribeStatus(t->Prog.ExitStatus) << "); stderr: " << ReadStderr(t->Prog);
    }
    // An exit that some ignored input set off may take a while to show.
    if (!c.Ignored.empty()) {
        std::this_thread::sleep_for(500ms);
        ASSERT_TRUE(StillRunning(&t->Prog)) << c.Name << ": the ignored inputs ended the program ("
                                            << DescribeStatus(t->Prog.ExitStatus) << ")";
    }
    c.Ending.Do(d);
    const auto injected = Clock::now();
    if (t->ExpectEnds(injected, 3000ms, std::string(c.Name) + " (" + c.Ending.What + ")") < 0)
        return;
    EXPECT_TRUE(WIFEXITED(t->Prog.ExitStatus) && WEXITSTATUS(t->Prog.ExitStatus) == 0)
        << c.Name << ": " << DescribeStatus(t->Prog.ExitStatus);
    EXPECT_EQ(ReadStderr(t->Prog), "") << c.Name;
}

}  // namespace

TEST_F(E2e, EachEndingInputEndsTheProgramAndNoOtherDoes)
{
    StartServer(1280, 1024);
    ASSERT_FALSE(HasFatalFailure());
    const Action key = {"key 'a'", [](Display* d) { TapKey(d, XK_a); }};
    const std::vector<InputCase> cases = {
        {"a key while animating", E2e::WhileAnimating, {}, key},
        {"a key while the letter shows, acted on after it", E2e::WhileTheLetterShows, {}, key},
        {"left click after the middle button and the wheel",
         E2e::WhileAnimating,
         {{"middle click", [](Display* d) { ClickButton(d, 2); }},
          {"wheel up", [](Display* d) { ClickButton(d, 4); }},
          {"wheel down", [](Display* d) { ClickButton(d, 5); }},
          {"wheel left and right", [](Display* d) { ClickButton(d, 6), ClickButton(d, 7); }}},
         {"left click", [](Display* d) { ClickButton(d, 1); }}},
        {"right click after system keys",
         E2e::WhileAnimating,
         {{"Alt alone", [](Display* d) { TapKey(d, XK_Alt_L); }},
          {"'a' with Alt held",
           [](Display* d) {
               KeyDown(d, XK_Alt_L);
               TapKey(d, XK_a);
               KeyUp(d, XK_Alt_L);
           }},
          {"F10", [](Display* d) { TapKey(d, XK_F10); }}},
         {"right click", [](Display* d) { ClickButton(d, 3); }}},
        {"a 4 px move after relative 3 px moves",
         E2e::WhileAnimating,
         {{"seven relative moves of 3 px", [](Display* d) { MoveSteps(d, ThreePixelSteps, false); }}},
         {"relative move of 4 px right", [](Display* d) { MoveBy(d, 4, 0); }}},
        {"a 4 px move after absolute 3 px moves",
         E2e::WhileAnimating,
         {{"seven absolute moves of 3 px", [](Display* d) { MoveSteps(d, ThreePixelSteps, true); }}},
         {"absolute move 4 px up",
          [](Display* d) {
              int x, y;
              PointerAt(d, &x, &y);
              MoveTo(d, x, y - 4);
          }}},
    };
    for (const InputCase& c : cases) {
        RunInputCase(this, c);
        KillProgram(&Prog);
    }
}

TEST_F(E2e, CommandLineArgumentsChangeNothing)
{
    StartServer(1024, 768);
    ASSERT_FALSE(HasFatalFailure());
    Launch({"--help", "-s", "--steps", "5", "/nonexistent/file", ""});
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitUntilAnimating());
    const Window w = FindTopLevel(Server.Conn, "MyWKlass", nullptr);
    XWindowAttributes a;
    ASSERT_TRUE(w && XGetWindowAttributes(Server.Conn, w, &a));
    EXPECT_EQ(a.width, 1024);
    EXPECT_EQ(a.height, 768);
    TapKey(Server.Conn, XK_space);
    if (ExpectEnds(Clock::now(), 3000ms, "with arguments: space bar") < 0)
        return;
    EXPECT_TRUE(WIFEXITED(Prog.ExitStatus) && WEXITSTATUS(Prog.ExitStatus) == 0) << DescribeStatus(Prog.ExitStatus);
    EXPECT_EQ(ReadStderr(Prog), "");
}
