// Stop requests, module facts and the end on a lost display, on POSIX
// systems: sigaction, dladdr, write and _exit.
#include <dlfcn.h>
#include <errno.h>
#include <unistd.h>

#include <csignal>
#include <cstring>

#include "platform/process.h"

static void (*OnStop)() = nullptr;   // set before the handlers go in

static void OnStopSignal(int)
{
    OnStop();
}

void PlatformCatchStopRequests(void (*onStop)())
{
    OnStop = onStop;
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void PlatformDefaultStopRequests()
{
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
}

const char* PlatformProgramName()
{
    return program_invocation_short_name;
}

uintptr_t PlatformCodeOffset(const void* code)
{
    Dl_info info = {};
    if (!dladdr(code, &info) || !info.dli_fbase)
        return 0;
    return reinterpret_cast<uintptr_t>(code) - reinterpret_cast<uintptr_t>(info.dli_fbase);
}

void PlatformExitLostDisplay(const char* what)
{
    // write(2) and _exit only: nothing that needs the heap or locks that a
    // thread may hold.
    const char* parts[] = {program_invocation_short_name, ": lost the connection to the ", what, "\n"};
    for (const char* part : parts) {
        ssize_t ignored = write(STDERR_FILENO, part, std::strlen(part));
        (void)ignored;
    }
    _exit(1);
}
