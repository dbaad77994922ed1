// The process as the platform sees it: requests to stop that come from
// outside the window (signals on POSIX), the facts an error box names, and
// the end of a process whose display went away.
#pragma once
#include <cstdint>

// Calls onStop whenever the user or the system asks the process to stop
// (SIGINT, SIGTERM). onStop runs in a signal handler: lock-free atomic
// stores only.
void PlatformCatchStopRequests(void (*onStop)());

// Back to the platform's default, under which a stop request ends the
// process at once: for when no loop is left to notice a flag (a modal error
// box waiting for its OK).
void PlatformDefaultStopRequests();

// The program file's name, without its directory.
const char* PlatformProgramName();

// The offset of code from the load address of the module that holds it; 0
// when the platform cannot tell.
uintptr_t PlatformCodeOffset(const void* code);

// "<program>: lost the connection to the <what>" on stderr, then exit code 1
// at once: the animation thread may be running on state that a normal exit
// tears down, and there is nothing left to draw on. Safe in a display
// library's fatal-error callback.
[[noreturn]] void PlatformExitLostDisplay(const char* what);
