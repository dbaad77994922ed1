// End-to-end harness: a private Xvfb per test, the real glyphfall started
// with fork/exec, real input through XTest and real screenshots of the root
// window. Every wait has a deadline; everything started is killed and reaped
// by the fixture's TearDown, also when a check has failed.
#pragma once
#include <sys/types.h>

#include <csignal>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// GoogleTest before Xlib: Xlib's macros (None, Status, Bool) break its headers.
#include <gtest/gtest.h>

#include <X11/Xlib.h>

using Clock = std::chrono::steady_clock;

// Milliseconds between two instants, for printing and bounds.
double MsBetween(Clock::time_point from, Clock::time_point to);

// ---- The X server -------------------------------------------------------

struct XServer {
    pid_t Pid = -1;              // Xvfb, or -1 once reaped
    int Number = -1;             // the display number (":N")
    std::string Name;            // ":N"
    Display* Conn = nullptr;     // the harness's own connection
    int Width = 0, Height = 0;   // the screen as the server reports it
    std::string LogPath;         // Xvfb's stderr, shown when it fails to start
};

// Starts Xvfb on the first free display from :90 on, with one screen of
// width x height x 24 and the extra arguments, and connects to it. Returns
// false with the reason when no server could be started within the deadline.
bool StartXServer(XServer* server, int width, int height, const std::vector<std::string>& extra,
                  const std::string& tempDir, std::string* error);

// Closes the connection, stops Xvfb with signal (SIGTERM lets it clean up;
// SIGKILL is a crash, after which its lock file and socket are removed here)
// and reaps it. Safe to repeat.
void StopXServer(XServer* server, int signal = SIGTERM);

// ---- The program --------------------------------------------------------

struct Program {
    pid_t Pid = -1;                  // glyphfall (leader of its own process group), -1 once reaped
    std::string StderrPath;          // its stderr
    Clock::time_point Started;       // just before exec
    bool Exited = false;             // reaped by WaitExit
    int ExitStatus = 0;              // waitpid's status once Exited
    Clock::time_point ExitSeen;      // when waitpid reported the exit
};

// The test process's environment with DISPLAY, WAYLAND_DISPLAY and
// SDL_VIDEODRIVER removed and the given NAME=value entries added (replacing
// any inherited ones of the same name).
std::vector<std::string> ProgramEnvironment(const std::vector<std::string>& add);

// Starts glyphfall with args and exactly the environment env, stderr to a
// fresh file in tempDir. Returns false with the reason when fork fails.
bool SpawnProgram(Program* program, const std::vector<std::string>& args, const std::vector<std::string>& env,
                  const std::string& tempDir, std::string* error);

// Waits up to timeout for the program to end. Returns true once it has
// ended (ExitSeen, ExitStatus set); false when it still runs at the deadline.
bool WaitExit(Program* program, std::chrono::milliseconds timeout);

// True while the program has not ended (reaps it if it just did).
bool StillRunning(Program* program);

// Kills the program's whole process group and reaps it. Safe to repeat.
void KillProgram(Program* program);

// The program's stderr as written so far.
std::string ReadStderr(const Program& program);

// "exit 0", "exit 1", "signal 11 (core dumped)"...
std::string DescribeStatus(int status);

// ---- Input (XTest) ------------------------------------------------------

// Each call presses and releases, then waits until the server has taken it.
void TapKey(Display* d, unsigned long keysym);
void KeyDown(Display* d, unsigned long keysym);
void KeyUp(Display* d, unsigned long keysym);
void ClickButton(Display* d, unsigned button);
void MoveBy(Display* d, int dx, int dy);
void MoveTo(Display* d, int x, int y);
void PointerAt(Display* d, int* x, int* y);

// ---- Screen -------------------------------------------------------------

struct Screenshot {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;   // 0xRRGGBB, row by row
    uint32_t At(int x, int y) const { return Pixels[size_t(y) * size_t(Width) + size_t(x)]; }
};

// The whole root window, as shown. Returns false when the server refuses.
bool TakeScreenshot(Display* d, Screenshot* shot);

// Takes screenshots until accept says yes or timeout passes. Returns true
// with the accepted screenshot in shot and the moment it was taken.
bool WaitForScreen(Display* d, std::chrono::milliseconds timeout, const std::function<bool(const Screenshot&)>& accept,
                   Screenshot* shot, Clock::time_point* seen);

// True when every pixel is pure black or pure white and both occur.
bool IsTwoTone(const Screenshot& shot);

// How many pixels are neither black, white nor any grey.
size_t ColouredPixels(const Screenshot& shot);

// A top-level window whose WM_CLASS class or instance is cls, or whose
// WM_NAME is name (either may be null); 0 when there is none.
Window FindTopLevel(Display* d, const char* cls, const char* name);

// Waits until such a window is mapped; 0 at the deadline.
Window WaitForTopLevel(Display* d, const char* cls, const char* name, std::chrono::milliseconds timeout);

// True when the window's _NET_WM_STATE lists the atom named state.
bool HasNetWmState(Display* d, Window w, const char* state);

// True when the cursor shown now has no visible pixel.
bool CursorIsHidden(Display* d);

// ---- The fixture --------------------------------------------------------

// One temporary directory, one X server and one program slot per test; all
// three are cleaned up in TearDown whatever happened.
struct E2e : testing::Test {
    std::string TempDir;
    XServer Server;
    Program Prog;

    void SetUp() override;
    void TearDown() override;

    // Starts the X server or fails the test.
    void StartServer(int width, int height, const std::vector<std::string>& extra = {});

    // Starts glyphfall on this test's server (a fresh program slot).
    void Launch(const std::vector<std::string>& args = {}, const std::vector<std::string>& env = {});

    // Waits for the window, then for the first coloured frame. Returns false
    // (with a failure recorded) when either does not come.
    bool WaitUntilAnimating(std::chrono::milliseconds timeout = std::chrono::milliseconds(15000));

    // Waits for the two-tone letter of the first scene (shown during its
    // one-second pause) or for the animation. Returns false (with a failure
    // recorded) when it does not come.
    enum Phase { WhileTheLetterShows, WhileAnimating };
    bool WaitForPhase(Phase phase);

    // Expects the program to end within bound, counted from since; returns
    // the measured time in ms (negative when it did not end: it is killed).
    double ExpectEnds(Clock::time_point since, std::chrono::milliseconds bound, const std::string& what);
};
