// The process on Windows: stop requests from the console (Ctrl+C, Ctrl+Break,
// its window closing; harmless for a program started without one), and the
// module facts the error box names.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

#include "platform/process.h"

static void (*StopHandler)() = nullptr;

// Runs on a thread the system starts for the event: atomic stores only.
static BOOL WINAPI OnConsoleEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT)
        return FALSE;
    if (StopHandler)
        StopHandler();
    return TRUE;
}

void PlatformCatchStopRequests(void (*onStop)())
{
    StopHandler = onStop;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

void PlatformDefaultStopRequests()
{
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

const char* PlatformProgramName()
{
    static char path[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    path[n < MAX_PATH ? n : MAX_PATH] = '\0';
    const char* slash = std::strrchr(path, '\\');
    const char* alt = std::strrchr(path, '/');
    if (alt && (!slash || alt > slash))
        slash = alt;
    return slash ? slash + 1 : path;
}

uintptr_t PlatformCodeOffset(const void* code)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(code), &module) ||
        !module)
        return 0;
    return reinterpret_cast<uintptr_t>(code) - reinterpret_cast<uintptr_t>(module);
}
