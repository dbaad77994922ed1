// End-to-end harness: a private Xvfb per test, programs run by fork/exec, XTest
// input, screenshots of the root window. Every wait has a deadline.
#pragma once
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// GoogleTest before Xlib: Xlib's macros (None, Status, Bool) break its headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

using Clock = std::chrono::steady_clock;
using Ms = std::chrono::milliseconds;
using Strings = std::vector<std::string>;

struct XServer {
    pid_t Pid = -1;              // the server, -1 once reaped
    std::string Name;            // ":N"
    Display* Conn = nullptr;     // the harness's own connection
};

// Xorg's dummy driver with two 1024x768 monitors side by side (Xinerama heads at 0,0 and 1024,0).
// StopXServer also reaps; safe to repeat.
bool StartTwoHeads(XServer* server, const std::string& tempDir, std::string* error);
void StopXServer(XServer* server, int signal = SIGTERM);

struct Program {
    pid_t Pid = -1;              // leader of its own process group; -1 once reaped
    int ExitStatus = 0;          // waitpid's status once reaped
    Clock::time_point Started;   // just before fork
    Clock::time_point ExitSeen;  // when waitpid reported the end
    std::string StderrPath;      // its stdout and stderr
};

// add, then the environment without add's names, DISPLAY, WAYLAND_DISPLAY, SDL_VIDEODRIVER.
Strings ProgramEnvironment(const Strings& add);
// Starts argv (argv[0] a path) in a new process group with exactly env, output to a file.
bool SpawnProgram(Program* program, const Strings& argv, const Strings& env, const std::string& tempDir,
                  std::string* error);
bool WaitExit(Program* program, Ms timeout);   // true once ended (reaped, group killed)
void KillProgram(Program* program);            // kills the group and reaps; safe to repeat
std::string ReadStderr(const Program& program);
std::string DescribeStatus(int status);        // "exit 0", "signal 11"

// XTest input, taken by the server on return. TapKey holds held (0: none).
void TapKey(Display* d, unsigned long keysym, unsigned long held = 0);
void ClickButton(Display* d, unsigned button);
void MoveBy(Display* d, int dx, int dy);
void MoveTo(Display* d, int x, int y);
// The shown top-level windows, bottom to top; the window manager's close request to one.
std::vector<Window> TopWindows(Display* d);
void SendClose(Display* d, Window window);

struct Screenshot {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;   // 0xRRGGBB, row by row, whatever the depth
    bool Opaque = true;             // every pixel's bits beyond the colour masks (alpha) set
    uint32_t At(int x, int y) const { return Pixels[size_t(y) * size_t(Width) + size_t(x)]; }
};

bool TakeScreenshot(Display* d, Screenshot* shot, Window window = 0);   // 0: the root; false if refused
bool WaitForScreen(Display* d, Ms timeout, const std::function<bool(const Screenshot&)>& accept, Screenshot* shot,
                   Window window = 0);
bool IsTwoTone(const Screenshot& s);   // only black and white, and both
bool HasColour(const Screenshot& s);   // some colour that is no grey
// Expects the width x height area at (left, top) (0: all of the shot) to show a rasterWidth x 150
// raster enlarged exactly: pixel (x, y) shows raster pixel (x * W / width, y * 150 / height), both
// rounded down; with centres, the one under its centre, ((x + 0.5) * W / width, (y + 0.5) * 150 /
// height), rounded down (Wine's StretchBlt). Returns the raster read back (0xRRGGBB, row by row).
std::vector<uint32_t> ExpectEnlargement(const Screenshot& s, int rasterWidth, const char* what, int left = 0,
                                        int top = 0, int width = 0, int height = 0, bool centres = false);
// The pixels of that area that break the enlargement, without failing; *raster as above.
size_t EnlargementErrors(const Screenshot& s, int rasterWidth, std::vector<uint32_t>* raster = nullptr, int left = 0,
                         int top = 0, int width = 0, int height = 0, bool centres = false);

struct E2e;
using E2eAction = void (*)(E2e*);

// One way to end the program, or to leave it running: see E2e::ExpectEnding.
struct EndCase {
    const char* Name;
    int Phase;            // acts while animating (0), while the letter shows (1), or at start-up (-1)
    E2eAction Ignored;    // must leave the program running (nullptr: none)
    E2eAction Ending;     // must close its window within BoundMs (at start-up: end) and exit with Code
    int BoundMs = 3000, Code = 0;
    const char* Says = "";   // what its one line says ("": nothing said)
};

// What every program's ending table holds: a key, and the clicks and moves that end it next to
// those that must not; the moves by the faithful rule (between moves) or a screen saver's (from rest).
std::vector<EndCase> InputEndings(bool fromRest = false);

struct E2e : testing::Test {
    std::string TempDir;
    XServer Server;
    Program Prog;

    void SetUp() override
    {
        char pattern[] = "/tmp/glyphfall-e2e-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        TempDir = pattern;
    }
    void TearDown() override { KillProgram(&Prog), StopXServer(&Server), std::filesystem::remove_all(TempDir); }
    // Xvfb on a display of its choice, width x height x depth, black root; or fails the test.
    void StartServer(int width, int height, const Strings& extra = {}, int depth = 24);
    // Starts program (glyphfall) with args, env and the server's DISPLAY (the first of a name counts).
    // ThreadSanitizer's exit hook would otherwise wait a second for running threads.
    void Launch(const Strings& args = {}, const Strings& env = {}, const char* program = GLYPHFALL_PROGRAM)
    {
        KillProgram(&Prog);
        Strings argv = {program}, add = env;
        argv.insert(argv.end(), args.begin(), args.end());
        const char* tsan = std::getenv("TSAN_OPTIONS");
        add.insert(add.end(), {"DISPLAY=" + (Server.Conn ? Server.Name : ""),
                               "TSAN_OPTIONS=" + std::string(tsan ? tsan : "") + " atexit_sleep_ms=0"});
        std::string error;
        ASSERT_TRUE(SpawnProgram(&Prog, argv, ProgramEnvironment(add), TempDir, &error)) << error;
    }
    bool WaitForPhase(bool letter, Screenshot* shot = nullptr);         // the letter or a coloured frame
    // Expects the end within bound of since with exit code code (< 0: by signal -code) and
    // output: none (says ""), one line "glyphfall...: ..." containing says, or anything (nullptr).
    bool ExpectExit(Clock::time_point since, Ms bound, int code, const char* says, const std::string& what);
    // On the launched program: waits for the phase, does the ignored input and the ending one, and
    // expects the window gone and the exit as the case says.
    void ExpectEnding(const EndCase& c);
};
