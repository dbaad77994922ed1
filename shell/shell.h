// The application shell: start-up, the message loop and the window
// procedure that turns any user input into the end of the program.
#pragma once
#include <atomic>
#include <cstdint>
#include <thread>

#include "platform/window.h"

// The full-screen window's class, where the platform registers classes.
constexpr const char* WindowClassName = "MyWKlass";

struct CursorPoint {
    int32_t X, Y;
};

extern CursorPoint LastCursor;               // cursor position at the last mouse move (or at creation)
extern bool LastCursorKnown;                 // false until the platform has told a position
extern std::thread AnimationWorker;          // the animation thread, joined at shutdown
extern std::atomic<bool> StopSignalled;      // set by SIGINT/SIGTERM; the loop turns it into a destroy

// Handles one event of the full-screen window.
void WindowProc(const PlatformEvent& event);

// The program: returns its exit code.
int StartUp();
