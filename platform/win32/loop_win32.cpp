// The message loop both Win32 windows run (glyphfall.exe's and
// glyphfall.scr's): their common input translation, the frame pump's wait
// and wake-up, and the display.h/window.h calls that do not depend on which
// window is open.
#include <cstdio>
#include <utility>

#include "platform/display.h"
#include "platform/frame_pump.h"
#include "platform/process.h"
#include "platform/win32/win32.h"

WindowLoop Loop;

void RegisterWindowClass(const std::wstring& className, WNDPROC procedure, HINSTANCE classOwner)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = className.c_str();
    windowClass.hInstance = classOwner;
    RegisterClassW(&windowClass);
}

bool TakeWindow(HWND window, int32_t width, int32_t height, int32_t* widthOut, int32_t* heightOut,
                std::string* error)
{
    if (!window) {
        *error = "cannot create the window (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    Loop.Window = window;
    HDC screen = GetDC(nullptr);
    const int hertz = GetDeviceCaps(screen, VREFRESH);
    ReleaseDC(nullptr, screen);
    PumpStart(hertz);
    *widthOut = width;
    *heightOut = height;
    return true;
}

void QueueEvent(EventKind kind, MouseButton button, int32_t x, int32_t y)
{
    if (Loop.InputIgnored && kind != EventDestroy)
        return;
    Loop.Events.push_back(PlatformEvent{kind, button, x, y});
}

bool TranslateInput(UINT message)
{
    switch (message) {
    case WM_KEYDOWN:
        QueueEvent(EventKey);
        return true;
    case WM_LBUTTONDOWN:
        QueueEvent(EventButton, ButtonLeft);
        return true;
    case WM_RBUTTONDOWN:
        QueueEvent(EventButton, ButtonRight);
        return true;
    case WM_MOUSEMOVE: {
        // Screen coordinates from the platform, not the message's own.
        POINT p = {};
        GetCursorPos(&p);
        QueueEvent(EventMouseMove, ButtonOther, p.x, p.y);
        return true;
    }
    case WakeMessage:
        PumpWoken();
        return true;
    case WM_SYSKEYDOWN:
        QueueEvent(EventSystemKey);
        return false;
    case WM_MBUTTONDOWN:
        QueueEvent(EventButton, ButtonMiddle);
        return false;
    case WM_MOUSEWHEEL:
        QueueEvent(EventWheel);
        return false;
    default:
        return false;
    }
}

void ShowErrorBox(const char* program, HWND owner, const char* title, const char* text)
{
    std::fprintf(stderr, "%s: %s: %s\n", program, title, text);
    std::fflush(stderr);
    MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), MB_ICONSTOP | MB_OK);
}

int PlatformScreenDpi()
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}

void PlatformHideCursor()
{
    // A preview's cursor belongs to the dialog around it.
    if (!Loop.InputIgnored)
        ShowCursor(FALSE);
}

bool PlatformCursorPosition(int32_t* x, int32_t* y)
{
    POINT p = {};
    const bool known = GetCursorPos(&p);
    *x = known ? p.x : 0;
    *y = known ? p.y : 0;
    return known;
}

void PlatformSleep(int64_t microseconds)
{
    // Whole milliseconds, rounded up: a pause never ends before its time.
    Sleep(DWORD((microseconds + 999) / 1000));
}

bool BackendWake()
{
    const HWND window = Loop.Window;
    return window && PostMessageW(window, WakeMessage, 0, 0);
}

static bool TakeEvent(PlatformEvent* event)
{
    if (Loop.Events.empty())
        return false;
    *event = Loop.Events.front();
    Loop.Events.pop_front();
    return true;
}

bool BackendWaitEvent(int ms, PlatformEvent* event)
{
    if (TakeEvent(event))
        return true;
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(Loop.EndCount, Loop.Ends, DWORD(ms), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    // A wait that failed would fail again at once: the end, not a loop that spins.
    static bool failureTold = false;
    if (woke == WAIT_FAILED && !std::exchange(failureTold, true))
        std::fprintf(stderr, "%s: cannot wait for the saver's end (error %lu)\n", PlatformProgramName(),
                     GetLastError());
    WindowAfterWait(woke < WAIT_OBJECT_0 + Loop.EndCount || woke == WAIT_FAILED);
    MSG message;
    // Looked at first, so that GetMessage never blocks past the slice.
    if (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        if (GetMessageW(&message, nullptr, 0, 0) == 0) {
            *event = PlatformEvent{EventQuit, ButtonOther, 0, 0};
            return true;
        }
        // A fetch error (-1) is treated like any other message.
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return TakeEvent(event);
}
