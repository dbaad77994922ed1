// Where the program cannot run: no display, no font, a screen too narrow for
// a raster. Each ends with exit code 1 and says why, and none hangs.
#include "tests/e2e/harness.h"

#include <fstream>

#include <X11/keysym.h>

TEST_F(E2e, NoDisplayOrNoFontIsOneLineAndExitCode1)
{
    std::ofstream(TempDir + "/fonts.conf") << "<fontconfig></fontconfig>\n";
    const struct {
        Strings Env;
        const char* Says;
    } cases[] = {
        {{}, "neither DISPLAY nor WAYLAND_DISPLAY"},
        {{"DISPLAY=:4095"}, "DISPLAY=:4095"},
        {{"WAYLAND_DISPLAY=none", "XDG_RUNTIME_DIR=" + TempDir}, "WAYLAND_DISPLAY=none"},
        // On a display (started below) without a single font.
        {{"FONTCONFIG_FILE=" + TempDir + "/fonts.conf", "XDG_CACHE_HOME=" + TempDir}, "Times New Roman"},
    };
    for (const auto& c : cases) {
        if (&c == &cases[3])
            StartServer(640, 480);
        Launch({}, c.Env);
        ASSERT_FALSE(HasFatalFailure());
        ExpectExit(Prog.Started, Ms(10000), 1, c.Says, c.Says);
    }
}

// A screen one pixel wide leaves the raster no column: the error box, its
// text on stderr too, and exit code 1 once the box is answered.
TEST_F(E2e, AScreenTooNarrowShowsTheErrorBox)
{
    StartServer(1, 1000);
    for (bool answer : {true, false}) {
        Launch();
        ASSERT_FALSE(HasFatalFailure());
        const std::string says = "glyphfall: Application Error: Exception EOutOfResources in module ";
        ASSERT_FALSE(WaitExit(&Prog, Ms(2000))) << "did not wait for the box: " << DescribeStatus(Prog.ExitStatus);
        EXPECT_EQ(ReadStderr(Prog).rfind(says, 0), 0u) << ReadStderr(Prog);
        // Without a window manager nobody gives the box, the topmost window, the focus.
        const auto sent = Clock::now();
        do {
            Window root, parent, *children = nullptr;
            unsigned count = 0;
            XQueryTree(Server.Conn, DefaultRootWindow(Server.Conn), &root, &parent, &children, &count);
            if (answer && count > 1)
                XSetInputFocus(Server.Conn, children[count - 1], RevertToPointerRoot, CurrentTime);
            XFree(children);
            answer ? TapKey(Server.Conn, XK_Return) : (void)kill(Prog.Pid, SIGTERM);
        } while (!WaitExit(&Prog, Ms(200)) && Clock::now() - sent < Ms(3000));
        ExpectExit(sent, Ms(3000), answer ? 1 : -SIGTERM, nullptr, answer ? "box answered" : "SIGTERM at the box");
    }
}
