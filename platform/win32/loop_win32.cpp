// The message loop both Win32 windows run (glyphfall.exe's and
// glyphfall.scr's): their common input translation, the frame hand-off from
// the animation thread, the event pump, and the display.h/window.h calls
// that do not depend on which window is open.
#include <cstdio>

#include "platform/display.h"
#include "platform/win32/win32.h"

WindowLoop Loop;

void StartLoop(const std::wstring& className, WNDPROC procedure, HINSTANCE classOwner)
{
    Loop.MainThread = GetCurrentThreadId();
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.lpszClassName = className.c_str();
    windowClass.hInstance = classOwner;
    RegisterClassW(&windowClass);
}

bool TakeWindow(HWND window, std::string* error)
{
    if (!window) {
        *error = "cannot create the window (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    Loop.Window = window;
    HDC screen = GetDC(nullptr);
    const int hertz = GetDeviceCaps(screen, VREFRESH);
    ReleaseDC(nullptr, screen);
    if (hertz > 1)
        Loop.RefreshInterval = std::chrono::microseconds(1000000 / hertz);
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
        Loop.FrameWaiting = true;
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

void PlatformSleep(int ms)
{
    Sleep(DWORD(ms));
}

static void ShowNow(const uint8_t* const* rows, int32_t width, int32_t height)
{
    if (Loop.ShowRows(rows, width, height))
        Loop.LastShown = LoopClock::now();
}

static void ShowPendingFrame()
{
    Loop.FrameWaiting = false;
    // Cleared before the frame is taken: a frame handed over after this
    // point finds it clear and wakes the main thread again.
    Loop.WakePosted.store(false);
    if (!TakeFrame(&Loop.Slot, &Loop.Taken))
        return;
    const std::vector<const uint8_t*> rows = FrameRows(Loop.Taken);
    ShowNow(rows.data(), Loop.Taken.Width, Loop.Taken.Height);
}

void PlatformPresent(uint8_t* const* rows, int32_t width, int32_t height)
{
    const HWND window = Loop.Window;
    if (!window)
        return;
    if (GetCurrentThreadId() == Loop.MainThread) {
        ShowNow(rows, width, height);
        // A scene shown from outside the message loop (glyphfall.exe's first).
        // A zero wait takes no message but lets the window system catch up
        // (Wine maps the window and sends the picture to the X server only in
        // such waits), so the letter shows during its second, not after it.
        MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0);
        return;
    }
    PutFrame(&Loop.Slot, rows, width, height);
    // A refused post must not leave the flag set, or no later frame would
    // ever wake the main thread again.
    if (!Loop.WakePosted.exchange(true) && !PostMessageW(window, WakeMessage, 0, 0))
        Loop.WakePosted.store(false);
}

static bool TakeEvent(PlatformEvent* event)
{
    if (Loop.Events.empty())
        return false;
    *event = Loop.Events.front();
    Loop.Events.pop_front();
    return true;
}

bool PlatformGetEvent(PlatformEvent* event)
{
    using namespace std::chrono;
    *event = PlatformEvent{EventNone, ButtonOther, 0, 0};
    if (TakeEvent(event))
        return true;
    // A short slice, so that the caller sees its stop flag promptly; shorter
    // still while a frame waits for the next refresh.
    const auto wait =
        FrameWait(LoopClock::now(), Loop.LastShown, Loop.RefreshInterval, Loop.FrameWaiting, milliseconds(10));
    HANDLE end = Loop.EndEvent;
    const DWORD woke = MsgWaitForMultipleObjectsEx(end ? 1 : 0, end ? &end : nullptr, DWORD(wait.count()),
                                                   QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (Loop.AfterWait)
        Loop.AfterWait(end && woke == WAIT_OBJECT_0);
    MSG message;
    // Looked at first, so that GetMessage never blocks past the slice.
    if (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            return false;   // the quit message
        // A fetch error (-1) is treated like any other message.
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (Loop.FrameWaiting && FrameDue(LoopClock::now(), Loop.LastShown, Loop.RefreshInterval))
        ShowPendingFrame();
    TakeEvent(event);
    return true;
}
