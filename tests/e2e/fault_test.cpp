// Ends other than by input: stop signals in each phase, the X server dying,
// no display, no font and a screen too narrow for a raster. Each ends
// promptly with its exit code and at most one line, never hangs.
#include "tests/e2e/harness.h"

#include <cstdlib>
#include <fstream>

#include <X11/keysym.h>

namespace {

struct SignalCase {
    const char* Name;
    int Signal;
    bool WhileLetter;
};

struct Signals : E2e, testing::WithParamInterface<SignalCase> {};

// During the letter the signal cuts its second short: the bound is below it.
TEST_P(Signals, EndCleanly)
{
    const SignalCase& c = GetParam();
    StartServer(1280, 1024);
    Launch();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitForPhase(c.WhileLetter));
    ASSERT_EQ(kill(Prog.Pid, c.Signal), 0);
    ExpectExit(Clock::now(), Ms(c.WhileLetter ? 700 : 3000), 0, c.Name);
    EXPECT_EQ(ReadStderr(Prog), "");
}

const SignalCase SignalCases[] = {
    {"TermWhileTheLetterShows", SIGTERM, true}, {"IntWhileTheLetterShows", SIGINT, true},
    {"TermWhileAnimating", SIGTERM, false},     {"IntWhileAnimating", SIGINT, false},
};
INSTANTIATE_TEST_SUITE_P(E2e, Signals, testing::ValuesIn(SignalCases), [](const auto& i) { return i.param.Name; });

// Exit code 1 and exactly one line, "glyphfall: ..." naming the cause.
void ExpectOneLine(const std::string& text, const std::string& mention)
{
    EXPECT_EQ(text.rfind("glyphfall: ", 0), 0u) << text;
    EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
    EXPECT_NE(text.find(mention), std::string::npos) << "should mention " << mention << ": " << text;
}

TEST_F(E2e, TheXServerDyingEndsItAtOnce)
{
    StartServer(640, 480);
    // ThreadSanitizer's exit hook waits a second for running threads by default.
    const char* tsan = std::getenv("TSAN_OPTIONS");
    Launch({}, {"TSAN_OPTIONS=" + std::string(tsan ? tsan : "") + " atexit_sleep_ms=0"});
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitForPhase(false));
    StopXServer(&Server, SIGKILL);
    ExpectExit(Clock::now(), Ms(2000), 1, "X server killed");
    ExpectOneLine(ReadStderr(Prog), "X server");
}

TEST_F(E2e, NoDisplayOrNoFontIsOneLineAndExit1)
{
    std::ofstream(TempDir + "/fonts.conf") << "<fontconfig></fontconfig>\n";
    const struct {
        Strings Env;
        const char* Mention;
    } cases[] = {
        {{}, "neither DISPLAY nor WAYLAND_DISPLAY"},
        {{"DISPLAY=:4095"}, "DISPLAY=:4095"},
        {{"WAYLAND_DISPLAY=none", "XDG_RUNTIME_DIR=" + TempDir}, "WAYLAND_DISPLAY=none"},
        // On a real display (started below), without a single font.
        {{"FONTCONFIG_FILE=" + TempDir + "/fonts.conf", "XDG_CACHE_HOME=" + TempDir}, "Times New Roman"},
    };
    for (const auto& c : cases) {
        if (&c == &cases[3])
            StartServer(640, 480);
        Launch({}, c.Env);
        ASSERT_FALSE(HasFatalFailure());
        ExpectExit(Prog.Started, Ms(10000), 1, c.Mention);
        ExpectOneLine(ReadStderr(Prog), c.Mention);
    }
}

// A screen one pixel wide leaves the raster no column: the error box, the
// same text on stderr, and exit code 1 once the box is answered.
TEST_F(E2e, AScreenTooNarrowShowsTheErrorBox)
{
    StartServer(1, 1000);
    for (bool answer : {true, false}) {
        Launch();
        ASSERT_FALSE(HasFatalFailure());
        const Window box = WaitForWindow(Server.Conn, "Application Error", Ms(10000));
        ASSERT_NE(box, 0u) << "no error box; " << ReadStderr(Prog);
        EXPECT_EQ(ReadStderr(Prog).rfind("glyphfall: Application Error: Exception EOutOfResources in module ", 0), 0u)
            << ReadStderr(Prog);
        ASSERT_FALSE(WaitExit(&Prog, Ms(300))) << "did not wait for the box";
        if (answer) {
            // No window manager gives the box the focus.
            XSetInputFocus(Server.Conn, box, RevertToPointerRoot, CurrentTime);
            TapKey(Server.Conn, XK_Return);
        } else {
            kill(Prog.Pid, SIGTERM);
        }
        ExpectExit(Clock::now(), Ms(3000), answer ? 1 : -SIGTERM, answer ? "box answered" : "SIGTERM at the box");
    }
}

}  // namespace
