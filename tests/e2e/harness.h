// End-to-end harness: a private Xvfb per test, programs started with
// fork/exec, real input through XTest and real screenshots of the root
// window. Every wait has a deadline; the fixture's TearDown kills and reaps
// whatever was started, also after a failed check.
#pragma once
#include <sys/types.h>

#include <chrono>
#include <csignal>
#include <cstdint>
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
    pid_t Pid = -1;              // Xvfb, -1 once reaped
    std::string Name;            // ":N"
    Display* Conn = nullptr;     // the harness's own connection
    int Width = 0, Height = 0;   // the screen as the server reports it
};

// Starts Xvfb on a display it picks itself, with one screen of width x
// height x 24 and the extra arguments, and connects to it. False with the
// reason and Xvfb's output when it does not come up.
bool StartXServer(XServer* server, int width, int height, const Strings& extra, const std::string& tempDir,
                  std::string* error);
// Closes the connection, sends Xvfb signal and reaps it. Safe to repeat.
void StopXServer(XServer* server, int signal = SIGTERM);

struct Program {
    pid_t Pid = -1;              // leader of its own process group; -1 once reaped
    bool Exited = false;         // reaped by WaitExit
    int ExitStatus = 0;          // waitpid's status once Exited
    Clock::time_point Started;   // just before fork
    Clock::time_point ExitSeen;  // when waitpid reported the end
    std::string StderrPath;      // its stdout and stderr
};

// The test's environment without DISPLAY, WAYLAND_DISPLAY and
// SDL_VIDEODRIVER, with the NAME=value entries of add (replacing those names).
Strings ProgramEnvironment(const Strings& add);
// Starts argv (argv[0] the executable's path) in its own process group with
// exactly env, stdin /dev/null, stdout and stderr to a new file in tempDir.
// The child dies with the test process. False when fork fails.
bool SpawnProgram(Program* program, const Strings& argv, const Strings& env, const std::string& tempDir,
                  std::string* error);
// True once the program has ended within timeout (reaped, its group killed).
bool WaitExit(Program* program, Ms timeout);
// Kills the program's process group and reaps it. Safe to repeat.
void KillProgram(Program* program);
std::string ReadStderr(const Program& program);
std::string DescribeStatus(int status);   // "exit 0", "signal 11"

// XTest input; each returns once the server has taken it. TapKey holds the
// key held (a keysym; 0 for none) around the tap.
void TapKey(Display* d, unsigned long keysym, unsigned long held = 0);
void ClickButton(Display* d, unsigned button);
void MoveBy(Display* d, int dx, int dy);
void MoveTo(Display* d, int x, int y);

struct Screenshot {
    int Width = 0, Height = 0;
    std::vector<uint32_t> Pixels;   // 0xRRGGBB, row by row
    uint32_t At(int x, int y) const { return Pixels[size_t(y) * size_t(Width) + size_t(x)]; }
};

// The root window of d's default screen. False when the server refuses.
bool TakeScreenshot(Display* d, Screenshot* shot);
// Screenshots until accept says yes (true, that one in shot) or timeout.
bool WaitForScreen(Display* d, Ms timeout, const std::function<bool(const Screenshot&)>& accept, Screenshot* shot);
bool IsTwoTone(const Screenshot& shot);   // only black and white, and both
bool HasColour(const Screenshot& shot);   // some pixel neither black, white nor grey
// A mapped top-level window titled title; 0 when none comes within timeout.
Window WaitForWindow(Display* d, const char* title, Ms timeout);

// One temporary directory, X server and program per test, all cleaned up in
// TearDown whatever happened.
struct E2e : testing::Test {
    std::string TempDir;
    XServer Server;
    Program Prog;

    void SetUp() override;
    void TearDown() override;
    // Starts the X server or fails the test (check HasFatalFailure()).
    void StartServer(int width, int height, const Strings& extra = {});
    // Starts glyphfall with args and env added to its environment, on this
    // test's server when there is one (a DISPLAY in env overrides it).
    void Launch(const Strings& args = {}, const Strings& env = {});
    // Waits for the two-tone letter or for a coloured frame; false (with a
    // failure recorded) when it does not come.
    bool WaitForPhase(bool letter, Screenshot* shot = nullptr);
    // Expects the program to end within bound of since, with exit code code
    // (or, when code is negative, killed by signal -code).
    bool ExpectExit(Clock::time_point since, Ms bound, int code, const std::string& what);
};
