// Win32 backend: the top-most full-screen pop-up window of class "MyWKlass",
// its messages translated into the program's own events for the shared
// window procedure, the message loop, and presentation by StretchBlt.
//
// Threads: the window and its device context are used on the main thread
// only. A frame from the animation thread is copied into the frame slot and
// the main thread is woken with one coalesced posted message; the main thread
// shows the newest frame at most once per display refresh.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>

#include "platform/display.h"
#include "platform/frame_slot.h"
#include "platform/win32/win32.h"
#include "platform/window.h"

using Clock = std::chrono::steady_clock;

// Posted by the animation thread: a frame waits in the slot.
constexpr UINT WakeMessage = WM_APP + 1;

static struct {
    HWND Window = nullptr;                  // the full-screen window; kept until the process ends
    HINSTANCE Instance = nullptr;           // the program's module, the class's owner
    DWORD MainThread = 0;                   // the thread that owns the window and its queue
    int32_t Width = 0, Height = 0;          // the window's size: the whole primary screen
    std::deque<PlatformEvent> Events;       // translated by NativeProc, not yet taken
    Clock::duration RefreshInterval = std::chrono::microseconds(16667);   // the display's, from VREFRESH
    Clock::time_point LastShown;            // when the last picture was copied to the window

    DibSection Shown;                       // the picture on show, the stretched copy's source

    FrameSlot Slot;                         // the animation thread's newest frame
    ShownFrame Taken;                       // main thread: the frame taken out of the slot
    std::atomic<bool> WakePosted{false};    // a wake-up is queued or the slot not yet taken
    bool FrameWaiting = false;              // main thread: a woken frame not yet shown
} Win;

static void Queue(EventKind kind, MouseButton button = ButtonOther, int32_t x = 0, int32_t y = 0)
{
    Win.Events.push_back(PlatformEvent{kind, button, x, y});
}

// Translates the window's messages. Input the program ignores (system keys,
// the middle button, the wheel) still goes to the default procedure, so Alt+F4
// closes the window as everywhere else; the close then comes back as the
// genuine WM_DESTROY.
static LRESULT CALLBACK NativeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        Queue(EventKey);
        return 0;
    case WM_LBUTTONDOWN:
        Queue(EventButton, ButtonLeft);
        return 0;
    case WM_RBUTTONDOWN:
        Queue(EventButton, ButtonRight);
        return 0;
    case WM_MOUSEMOVE: {
        // Screen coordinates from the platform, not the message's own.
        POINT p = {};
        GetCursorPos(&p);
        Queue(EventMouseMove, ButtonOther, p.x, p.y);
        return 0;
    }
    case WM_DESTROY:
        Queue(EventDestroy);
        return 0;
    case WakeMessage:
        Win.FrameWaiting = true;
        return 0;
    case WM_SYSKEYDOWN:
        Queue(EventSystemKey);
        break;
    case WM_MBUTTONDOWN:
        Queue(EventButton, ButtonMiddle);
        break;
    case WM_MOUSEWHEEL:
        Queue(EventWheel);
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The manifest declares per-monitor awareness (v2, system-aware where that is
// missing); this covers a program file without it. Looked up, not linked:
// Windows 10 before 1703 has no such call.
static void DeclareDpiAwareness()
{
    using SetContext = BOOL(WINAPI*)(DPI_AWARENESS_CONTEXT);
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext");
    const auto setContext = reinterpret_cast<SetContext>(reinterpret_cast<void (*)()>(found));
    if (setContext && setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2))
        return;
    SetProcessDPIAware();
}

bool PlatformOpenWindow(const char* className, int32_t* width, int32_t* height, std::string* error)
{
    DeclareDpiAwareness();
    Win.Instance = GetModuleHandleW(nullptr);
    Win.MainThread = GetCurrentThreadId();
    // Only the procedure and the name: no background brush, so the window
    // never erases itself and shows only what is presented.
    const std::wstring name = Wide(className);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = NativeProc;
    windowClass.lpszClassName = name.c_str();
    RegisterClassW(&windowClass);
    Win.Width = GetSystemMetrics(SM_CXSCREEN);
    Win.Height = GetSystemMetrics(SM_CYSCREEN);
    Win.Window = CreateWindowExW(WS_EX_TOPMOST, name.c_str(), L"", WS_POPUP | WS_VISIBLE, 0, 0, Win.Width,
                                 Win.Height, nullptr, nullptr, Win.Instance, nullptr);
    if (!Win.Window) {
        *error = "cannot create the window (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    HDC screen = GetDC(nullptr);
    const int hertz = GetDeviceCaps(screen, VREFRESH);
    ReleaseDC(nullptr, screen);
    if (hertz > 1)
        Win.RefreshInterval = std::chrono::microseconds(1000000 / hertz);
    *width = Win.Width;
    *height = Win.Height;
    return true;
}

// The window itself stays until the process ends, as the window procedure's
// shutdown expects; only what presentation made is released.
void PlatformCloseWindow()
{
    FreeDibSection(&Win.Shown);
    Win.Window = nullptr;
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

// The stretched copy onto the whole window, in the device context's default
// stretching mode: enlarging replicates pixels. Main thread only.
static void ShowRows(const uint8_t* const* rows, int32_t width, int32_t height)
{
    if (!Win.Window)
        return;
    if (Win.Shown.Width != width || Win.Shown.Height != height) {
        FreeDibSection(&Win.Shown);
        if (!MakeDibSection(width, height, &Win.Shown))
            return;
    }
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(Win.Shown.Bits + Win.Shown.Stride * size_t(y), rows[y], size_t(width) * 3);
    HDC dc = GetDC(Win.Window);
    StretchBlt(dc, 0, 0, Win.Width, Win.Height, Win.Shown.Dc, 0, 0, width, height, SRCCOPY);
    ReleaseDC(Win.Window, dc);
    Win.LastShown = Clock::now();
}

static void ShowPendingFrame()
{
    Win.FrameWaiting = false;
    // Cleared before the frame is taken: a frame handed over after this
    // point finds it clear and wakes the main thread again.
    Win.WakePosted.store(false);
    if (!TakeFrame(&Win.Slot, &Win.Taken))
        return;
    std::vector<const uint8_t*> rows(size_t(Win.Taken.Height));
    for (int32_t y = 0; y < Win.Taken.Height; ++y)
        rows[size_t(y)] = Win.Taken.Pixels.data() + size_t(y) * size_t(Win.Taken.Width) * 3;
    ShowRows(rows.data(), Win.Taken.Width, Win.Taken.Height);
}

void PlatformPresent(uint8_t* const* rows, int32_t width, int32_t height)
{
    if (!Win.Window)
        return;
    if (GetCurrentThreadId() == Win.MainThread) {
        ShowRows(rows, width, height);
        // The first scene is shown from outside the message loop. A zero wait
        // takes no message but lets the window system catch up (Wine maps the
        // window and sends the picture to the X server only in such waits), so
        // the letter shows during its second, not after it.
        MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0);
        return;
    }
    PutFrame(&Win.Slot, rows, width, height);
    // A refused post must not leave the flag set, or no later frame would
    // ever wake the main thread again.
    if (!Win.WakePosted.exchange(true) && !PostMessageW(Win.Window, WakeMessage, 0, 0))
        Win.WakePosted.store(false);
}

void PlatformPostEvent(EventKind kind)
{
    if (kind == EventQuit)
        PostQuitMessage(0);
    else
        PostMessageW(Win.Window, WM_DESTROY, 0, 0);
}

static bool TakeEvent(PlatformEvent* event)
{
    if (Win.Events.empty())
        return false;
    *event = Win.Events.front();
    Win.Events.pop_front();
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
    const auto wait = FrameWait(Clock::now(), Win.LastShown, Win.RefreshInterval, Win.FrameWaiting, milliseconds(10));
    MsgWaitForMultipleObjectsEx(0, nullptr, DWORD(wait.count()), QS_ALLINPUT, MWMO_INPUTAVAILABLE);
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
    if (Win.FrameWaiting && FrameDue(Clock::now(), Win.LastShown, Win.RefreshInterval))
        ShowPendingFrame();
    TakeEvent(event);
    return true;
}

void PlatformEndWindow(const char* className)
{
    UnregisterClassW(Wide(className).c_str(), Win.Instance);
    // Every window repaints over the last frame; nothing is erased first.
    InvalidateRect(nullptr, nullptr, FALSE);
}

void PlatformShowError(const char* title, const char* text)
{
    std::fprintf(stderr, "glyphfall: %s: %s\n", title, text);
    std::fflush(stderr);
    // Owned by the top-most window, so the box is not hidden behind it.
    MessageBoxW(Win.Window, Wide(text).c_str(), Wide(title).c_str(), MB_ICONSTOP | MB_OK);
}
