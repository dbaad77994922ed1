// What ends the program, and how. A key, a left or right click, a move of
// more than 3 pixels on either axis, SIGTERM or SIGINT: promptly, exit code 0,
// nothing said; the middle button, the wheel, Alt, F10 and moves of at most 3
// pixels leave it running. The X server dying, no display, no font, a screen
// too narrow for a raster: exit code 1 with the reason, never a hang.
#include "tests/e2e/harness.h"

#include <fstream>

#include <X11/keysym.h>

namespace {

// The input endings of every program's table, then this one's own.
std::vector<EndCase> Cases()
{
    std::vector<EndCase> cases = InputEndings();
    cases.insert(cases.end(), {
        // Input waits while the first scene is built: the end comes after the letter's second.
        {"KeyWhileTheLetterShows", 1, nullptr, [](E2e* t) { TapKey(t->Server.Conn, XK_space); }},
        // A stop signal cuts the letter's second short: the bound is below what is left of it.
        {"TermWhileTheLetterShows", 1, nullptr, [](E2e* t) { kill(t->Prog.Pid, SIGTERM); }, 800},
        {"IntWhileTheLetterShows", 1, nullptr, [](E2e* t) { kill(t->Prog.Pid, SIGINT); }, 800},
        // A stop during start-up stays made: no first scene (over a second) before the end. SIGTERM
        // once glyphfall's window shows, while the first scene is still being made.
        {"TermAtStartUp", -1, nullptr,
         [](E2e* t) {
             for (auto end = Clock::now() + Ms(10000); TopWindows(t->Server.Conn).empty() && Clock::now() < end;)
                 std::this_thread::sleep_for(Ms(1));
             kill(t->Prog.Pid, SIGTERM);
         },
         GLYPHFALL_SLOWER > 1 ? 1200 : 700},
        {"TermWhileAnimating", 0, nullptr, [](E2e* t) { kill(t->Prog.Pid, SIGTERM); }},
        {"TheXServerDying", 0, nullptr, [](E2e* t) { StopXServer(&t->Server, SIGKILL); }, 2000, 1, "X server"},
    });
    return cases;
}

struct Ends : E2e, testing::WithParamInterface<EndCase> {};

TEST_P(Ends, WhenItShould)
{
    const EndCase& c = GetParam();
    StartServer(1280, 1024);
    ASSERT_NO_FATAL_FAILURE(Launch());
    ExpectEnding(c);
}

INSTANTIATE_TEST_SUITE_P(E2e, Ends, testing::ValuesIn(Cases()), [](const auto& info) { return info.param.Name; });

// No display or no font: one line. A screen one pixel wide leaves the raster no column: the error
// box, its text on stderr too. Exit code 1 (once the box is answered).
TEST_F(E2e, NoDisplayNoFontOrATooNarrowScreenIsExitCode1)
{
    std::ofstream(TempDir + "/fonts.conf") << "<fontconfig></fontconfig>\n";
    const std::pair<Strings, const char*> cases[] = {
        {{}, "neither DISPLAY nor WAYLAND_DISPLAY"},
        {{"DISPLAY=:4095"}, "DISPLAY=:4095"},
        {{"WAYLAND_DISPLAY=none", "XDG_RUNTIME_DIR=" + TempDir}, "WAYLAND_DISPLAY=none"},
        // On a display (started below) without a single font.
        {{"FONTCONFIG_FILE=" + TempDir + "/fonts.conf", "XDG_CACHE_HOME=" + TempDir}, "Times New Roman"},
    };
    for (const auto& [env, says] : cases) {
        if (says == cases[3].second)
            StartServer(640, 480);
        ASSERT_NO_FATAL_FAILURE(Launch({}, env));
        ExpectExit(Prog.Started, Ms(10000), 1, says, says);
    }
    StopXServer(&Server);
    ASSERT_NO_FATAL_FAILURE(StartServer(1, 1000));
    for (bool answer : {true, false}) {
        ASSERT_NO_FATAL_FAILURE(Launch());
        ASSERT_FALSE(WaitExit(&Prog, Ms(2000))) << "did not wait for the box: " << DescribeStatus(Prog.ExitStatus);
        EXPECT_EQ(ReadStderr(Prog).rfind("glyphfall: Application Error: Exception EOutOfResources in module ", 0), 0u)
            << ReadStderr(Prog);
        // Without a window manager nobody gives the box, the topmost window, the focus.
        const auto sent = Clock::now();
        do {
            const std::vector<Window> shown = TopWindows(Server.Conn);
            if (answer && shown.size() > 1)
                XSetInputFocus(Server.Conn, shown.back(), RevertToPointerRoot, CurrentTime);
            answer ? TapKey(Server.Conn, XK_Return) : (void)kill(Prog.Pid, SIGTERM);
        } while (!WaitExit(&Prog, Ms(200)) && Clock::now() - sent < Ms(3000));
        ExpectExit(sent, Ms(3000), answer ? 1 : -SIGTERM, nullptr, answer ? "box answered" : "SIGTERM at the box");
    }
}

}  // namespace
