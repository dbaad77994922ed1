// The process on Windows: stop requests from the console (Ctrl+C, Ctrl+Break,
// its window closing; harmless for a program started without one), and the
// module facts the error box names.
#include <cstdio>

#include "platform/process.h"
#include "platform/win32/win32.h"

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
    // UTF-8, for the error box's text.
    static char name[4 * MAX_PATH] = "";
    wchar_t path[MAX_PATH + 1] = L"";
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    path[n < MAX_PATH ? n : MAX_PATH] = L'\0';
    const wchar_t* base = path;
    for (const wchar_t* p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/')
            base = p + 1;
    WideCharToMultiByte(CP_UTF8, 0, base, -1, name, sizeof name, nullptr, nullptr);
    return name;
}

uintptr_t PlatformCodeOffset(const void* code)
{
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(code), &module) ||
        !module)
        return 0;
    return reinterpret_cast<uintptr_t>(code) - reinterpret_cast<uintptr_t>(module);
}

void PlatformExitLostDisplay(const char* what)
{
    std::fprintf(stderr, "%s: lost the connection to the %s\n", PlatformProgramName(), what);
    std::fflush(stderr);
    ExitProcess(1);
}
