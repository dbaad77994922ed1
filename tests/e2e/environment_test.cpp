// Bad environments: no display, a display that is not there, no usable
// font, an X server without RandR. Each ends with a clear one-line message
// and exit code 1, or runs normally; none hangs.
#include "tests/e2e/harness.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include <X11/keysym.h>

using namespace std::chrono;
using namespace std::chrono_literals;

namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// The program must give up within a few seconds with exit code 1 and say
// so in exactly one line that mentions the given words.
void ExpectRefusal(E2e* t, const char* what, const std::vector<std::string>& env, const std::string& mention)
{
    SCOPED_TRACE(what);
    std::string error;
    ASSERT_TRUE(SpawnProgram(&t->Prog, {}, ProgramEnvironment(env), t->TempDir, &error)) << error;
    if (t->ExpectEnds(t->Prog.Started, 10000ms, what) < 0)
        return;
    const std::string text = ReadStderr(t->Prog);
    std::printf("[e2e] %s says: %s", what, text.c_str());
    EXPECT_TRUE(WIFEXITED(t->Prog.ExitStatus) && WEXITSTATUS(t->Prog.ExitStatus) == 1)
        << what << ": " << DescribeStatus(t->Prog.ExitStatus);
    const std::vector<std::string> lines = Lines(text);
    ASSERT_EQ(lines.size(), 1u) << what << ": expected one line on stderr, got:\n" << text;
    EXPECT_EQ(lines[0].rfind("glyphfall: ", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(mention), std::string::npos) << what << ": the message should mention \"" << mention
                                                         << "\": " << lines[0];
}

}  // namespace

TEST_F(E2e, WithoutADisplayItSaysSoAndExits1)
{
    // A display number nobody serves.
    int unused = 250;
    while (!std::ifstream("/tmp/.X" + std::to_string(unused) + "-lock").fail() ||
           !std::ifstream("/tmp/.X11-unix/X" + std::to_string(unused)).fail())
        ++unused;
    ExpectRefusal(this, "no DISPLAY, no WAYLAND_DISPLAY", {}, "display");
    ExpectRefusal(this, "DISPLAY naming no server", {"DISPLAY=:" + std::to_string(unused)},
                  "DISPLAY=:" + std::to_string(unused));
    // A session's runtime directory, without the compositor's socket in it.
    ExpectRefusal(this, "WAYLAND_DISPLAY naming no compositor",
                  {"WAYLAND_DISPLAY=glyphfall-e2e-none", "XDG_RUNTIME_DIR=" + TempDir}, "WAYLAND_DISPLAY");
    ExpectRefusal(this, "both naming nothing",
                  {"DISPLAY=:" + std::to_string(unused), "WAYLAND_DISPLAY=glyphfall-e2e-none",
                   "XDG_RUNTIME_DIR=" + TempDir},
                  "display");
}

TEST_F(E2e, WithoutFontsItNamesWhatItLookedForAndExits1)
{
    StartServer(640, 480);
    ASSERT_FALSE(HasFatalFailure());
    const std::string conf = TempDir + "/fonts.conf";
    std::ofstream(conf) << "<?xml version=\"1.0\"?>\n<!DOCTYPE fontconfig SYSTEM \"fonts.dtd\">\n"
                           "<fontconfig></fontconfig>\n";
    ExpectRefusal(this, "an empty fontconfig configuration",
                  {"DISPLAY=" + Server.Name, "FONTCONFIG_FILE=" + conf, "XDG_CACHE_HOME=" + TempDir},
                  "Times New Roman");
    EXPECT_EQ(FindTopLevel(Server.Conn, "MyWKlass", nullptr), 0u) << "the window outlived the program";
}

// Without RandR, SDL reads the screen from the core protocol: the program
// runs as usual. Xlib notes the missing extension on stderr while probing;
// nothing else may appear there.
TEST_F(E2e, WithoutRandrItRunsNormally)
{
    StartServer(1280, 1024, {"-extension", "RANDR"});
    ASSERT_FALSE(HasFatalFailure());
    int event, error;
    ASSERT_FALSE(XQueryExtension(Server.Conn, "RANDR", &event, &event, &error)) << "RANDR is still there";
    Launch();
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(WaitUntilAnimating());
    const Window w = FindTopLevel(Server.Conn, "MyWKlass", nullptr);
    XWindowAttributes a;
    ASSERT_TRUE(w && XGetWindowAttributes(Server.Conn, w, &a));
    EXPECT_EQ(a.width, 1280);
    EXPECT_EQ(a.height, 1024);
    TapKey(Server.Conn, XK_a);
    if (ExpectEnds(Clock::now(), 3000ms, "without RandR: key 'a'") < 0)
        return;
    EXPECT_TRUE(WIFEXITED(Prog.ExitStatus) && WEXITSTATUS(Prog.ExitStatus) == 0) << DescribeStatus(Prog.ExitStatus);
    const std::string text = ReadStderr(Prog);
    std::printf("[e2e] without RandR, stderr: %s", text.empty() ? "(empty)\n" : text.c_str());
    for (const std::string& line : Lines(text))
        EXPECT_NE(line.find("extension \"RANDR\" missing"), std::string::npos) << "unexpected on stderr: " << line;
}
