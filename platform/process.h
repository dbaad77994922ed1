// The process as the platform sees it: requests to stop that come from
// outside the window (signals on POSIX), and the facts an error box names.
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
