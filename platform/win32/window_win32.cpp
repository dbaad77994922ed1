// Win32 backend: glyphfall.exe's top-most full-screen pop-up window of class
// "MyWKlass", presented by StretchBlt, and its part of the shutdown. Its
// messages and events go through the shared loop (loop_win32.cpp), its
// frames through the frame pump.
//
// Threads: the window and its device context are used on the main thread
// only; frames from the animation thread come through the loop's hand-off.
#include <cstring>

#include "platform/frame_pump.h"
#include "platform/win32/win32.h"
#include "platform/window.h"

static struct {
    HINSTANCE Instance = nullptr;           // the program's module, the class's owner
    int32_t Width = 0, Height = 0;          // the window's size: the whole primary screen
    DibSection Shown;                       // the picture on show, the stretched copy's source
} Win;

// The window's own messages; the close comes back as the genuine WM_DESTROY.
static LRESULT CALLBACK NativeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (TranslateInput(message))
        return 0;
    if (message == WM_DESTROY) {
        QueueEvent(EventDestroy);
        return 0;
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

// The stretched copy onto the whole window, in the device context's default
// stretching mode: enlarging replicates pixels. Main thread only.
bool BackendShowRows(const uint8_t* const* rows, int32_t width, int32_t height)
{
    const HWND window = Loop.Window;
    if (!window)
        return false;
    if (Win.Shown.Width != width || Win.Shown.Height != height) {
        FreeDibSection(&Win.Shown);
        if (!MakeDibSection(width, height, 24, &Win.Shown))
            return false;
    }
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(Win.Shown.Bits + Win.Shown.Stride * size_t(y), rows[y], size_t(width) * 3);
    HDC dc = GetDC(window);
    StretchBlt(dc, 0, 0, Win.Width, Win.Height, Win.Shown.Dc, 0, 0, width, height, SRCCOPY);
    ReleaseDC(window, dc);
    // The first scene is shown from outside the message loop. A zero wait
    // takes no message but lets the window system catch up: a window system
    // that maps the window and sends it its picture only while the thread
    // waits for messages then shows the letter during its second, not after.
    MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0);
    return true;
}

// glyphfall.exe's window has no checks of its own after a wait.
void WindowAfterWait(bool) {}

bool PlatformOpenWindow(const WindowPlace& place, const char* className, int32_t* width, int32_t* height,
                        std::string* error)
{
    if (place.Kind != PlaceFullScreen) {
        *error = "this window backend serves the full screen only";
        return false;
    }
    DeclareDpiAwareness();
    Win.Instance = GetModuleHandleW(nullptr);
    const std::wstring name = Wide(className);
    RegisterWindowClass(name, NativeProc, nullptr);
    Win.Width = GetSystemMetrics(SM_CXSCREEN);
    Win.Height = GetSystemMetrics(SM_CYSCREEN);
    return TakeWindow(CreateWindowExW(WS_EX_TOPMOST, name.c_str(), L"", WS_POPUP | WS_VISIBLE, 0, 0, Win.Width,
                                      Win.Height, nullptr, nullptr, Win.Instance, nullptr),
                      Win.Width, Win.Height, width, height, error);
}

// The window itself stays until the process ends, as the window procedure's
// shutdown expects; only what presentation made is released.
void PlatformCloseWindow()
{
    PumpStop();
    FreeDibSection(&Win.Shown);
    Loop.Window = nullptr;
}

void PlatformPostEvent(EventKind kind)
{
    if (kind == EventQuit)
        PostQuitMessage(0);
    else
        PostMessageW(Loop.Window, WM_DESTROY, 0, 0);
}

void PlatformEndWindow(const char* className)
{
    UnregisterClassW(Wide(className).c_str(), Win.Instance);
    // Every window repaints over the last frame; nothing is erased first.
    InvalidateRect(nullptr, nullptr, FALSE);
}

// glyphfall shows no line over its picture.
void PlatformSetOverlay(const std::string&) {}

void PlatformShowError(const char* title, const char* text)
{
    // Owned by the top-most window, so the box is not hidden behind it.
    ShowErrorBox("glyphfall", Loop.Window, title, text);
}
