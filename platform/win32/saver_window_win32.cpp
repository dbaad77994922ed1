// glyphfall.scr's window on Win32, behind the same window.h and display.h as
// glyphfall.exe's, so that the shared window procedure applies the same
// rules: a top-most pop-up over one monitor (/s), or a child filling the
// preview window (/p), which reads no input and ends with its parent. The
// message loop and the input are glyphfall.exe's too (loop_win32.cpp), and
// so is the frame pump.
//
// Unlike glyphfall.exe, the saver enlarges (or, in a preview lower than the
// raster, reduces) the picture itself, by the scaler's nearest-neighbour
// rule, exactly as the XScreenSaver hack does: GDI's stretching rules differ
// between systems and, when reducing, blend rows instead of picking them.
//
// Threads: the window is used on the main thread only; frames from the
// animation thread come through the loop's hand-off.
#include "platform/frame_pump.h"
#include "platform/scaler.h"
#include "platform/win32/win32.h"
#include "platform/window.h"

constexpr UINT EndMessage = WM_APP + 2;    // the end, asked for by another thread

static struct {
    HWND PreviewParent = nullptr;           // the preview window we fill, or null
    HANDLE EndEvent = nullptr;              // set by whichever monitor's saver ends first; waited on by all
    HANDLE KeyboardTaken = nullptr;         // set once the first monitor's window holds the keyboard
    HANDLE Parent = nullptr;                // another monitor's window: the first process; else null
    HINSTANCE Instance = nullptr;
    DWORD MainThread = 0;                   // the thread that owns the window
    int32_t Width = 0, Height = 0;          // the window's client area

    // The picture as shown: a window-sized 32-bit DIB section, kept for
    // repainting.
    DibSection Picture;
    ScaleTables Tables;

    bool Ending = false;                    // the end is under way: queue no second one
    std::string Overlay;                    // the steps-per-second line, or ""
} Saver;

void ShareSaverEvents(HANDLE endEvent, HANDLE keyboardTaken, HANDLE parent)
{
    Saver.EndEvent = endEvent;
    Saver.KeyboardTaken = keyboardTaken;
    Saver.Parent = parent;
}

// Another monitor's window, which never takes the keyboard.
static bool IsCopy()
{
    return Saver.Parent != nullptr;
}

void PlatformSetOverlay(const std::string& text)
{
    Saver.Overlay = text;
}

static bool IsPreview()
{
    return Saver.PreviewParent != nullptr;
}

// The end, wherever it was asked for: the other monitors' savers are told
// through the shared event, this one leaves its loop through its queue.
static void QueueEnd()
{
    if (Saver.Ending)
        return;
    Saver.Ending = true;
    if (Saver.EndEvent)
        SetEvent(Saver.EndEvent);
    QueueEvent(EventDestroy);
}

// After each wait of the loop: another monitor's saver ended, or a
// preview's parent went without our child being told.
void WindowAfterWait(bool endSet)
{
    if (endSet)
        QueueEnd();
    if (IsPreview() && Loop.Window && !IsWindow(Saver.PreviewParent))
        QueueEnd();
}

static void Repaint(HDC dc)
{
    if (Saver.Picture.Dc)
        BitBlt(dc, 0, 0, Saver.Width, Saver.Height, Saver.Picture.Dc, 0, 0, SRCCOPY);
}

static LRESULT CALLBACK SaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (TranslateInput(message))
        return 0;
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        Repaint(dc);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;   // the picture covers everything; erasing would only flicker
    case WM_DISPLAYCHANGE:
        // Monitors came, went or changed size: the windows no longer fit
        // them. The saver ends (the system starts it again, laid out anew,
        // after the next idle time) rather than leave a monitor uncovered.
        QueueEnd();
        return 0;
    case WM_DESTROY:
        // A preview's parent going away destroys this child too.
        Loop.Window = nullptr;
        QueueEnd();
        return 0;
    case EndMessage:
        QueueEnd();
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

static bool MakePicture()
{
    if (Saver.Picture.Dc)
        return true;
    if (!MakeDibSection(Saver.Width, Saver.Height, 32, &Saver.Picture))
        return false;
    SetBkColor(Saver.Picture.Dc, RGB(0, 0, 0));
    SetTextColor(Saver.Picture.Dc, RGB(255, 255, 255));
    return true;
}

// Scales the raster into the picture, adds the overlay line, and puts the
// picture on the window. Main thread only.
bool BackendShowRows(const uint8_t* const* rows, int32_t width, int32_t height)
{
    const HWND window = Loop.Window;
    if (!window || Saver.Width <= 0 || Saver.Height <= 0 || !MakePicture())
        return false;
    GdiFlush();   // GDI must be done with the bits before they are written
    PrepareScaleTables(&Saver.Tables, width, height, Saver.Width, Saver.Height);
    ScaleRaster(&Saver.Tables, rows, PixelLayout{16, 8, 0, 0}, Saver.Picture.Bits, int32_t(Saver.Picture.Stride));
    if (!Saver.Overlay.empty())
        TextOutW(Saver.Picture.Dc, 8, Saver.Height - 24, Wide(Saver.Overlay.c_str()).c_str(),
                 int(Saver.Overlay.size()));
    HDC dc = GetDC(window);
    Repaint(dc);
    ReleaseDC(window, dc);
    return true;
}

bool PlatformOpenWindow(const WindowPlace& place, const char* className, int32_t* width, int32_t* height,
                        std::string* error)
{
    if (place.Kind != PlaceMonitor && place.Kind != PlacePreview) {
        *error = "this window backend serves a monitor or a preview only";
        return false;
    }
    Saver.Instance = GetModuleHandleW(nullptr);
    Saver.MainThread = GetCurrentThreadId();
    Saver.PreviewParent = place.Kind == PlacePreview ? reinterpret_cast<HWND>(uintptr_t(place.Handle)) : nullptr;
    // A preview is only a picture: the dialog around it keeps the input.
    Loop.InputIgnored = IsPreview();
    for (HANDLE end : {Saver.EndEvent, Saver.Parent})
        if (end)
            Loop.Ends[Loop.EndCount++] = end;
    const std::wstring name = Wide(className);
    RegisterWindowClass(name, SaverProc, Saver.Instance);
    HWND window = nullptr;
    if (IsPreview()) {
        RECT client = {};
        GetClientRect(Saver.PreviewParent, &client);
        Saver.Width = client.right - client.left;
        Saver.Height = client.bottom - client.top;
        window = CreateWindowExW(0, name.c_str(), L"", WS_CHILD | WS_VISIBLE | WS_DISABLED, 0, 0, Saver.Width,
                                 Saver.Height, Saver.PreviewParent, nullptr, Saver.Instance, nullptr);
    } else {
        Saver.Width = place.Right - place.Left;
        Saver.Height = place.Bottom - place.Top;
        // The keyboard is the first monitor's window's alone; the others are
        // shown without ever being activated, and only once it holds the
        // keyboard. Where a window system sends its focus request only when
        // the process next waits for messages (Wine without a window
        // manager), two processes activating their windows could leave the
        // input focus with one and the foreground with the other, and a key
        // would then go to a window no longer active and be dropped.
        // A copy always has both events and its parent (main.cpp).
        if (IsCopy()) {
            const HANDLE any[] = {Saver.KeyboardTaken, Saver.EndEvent, Saver.Parent};
            WaitForMultipleObjects(3, any, FALSE, INFINITE);
        }
        window = CreateWindowExW(WS_EX_TOPMOST | (IsCopy() ? WS_EX_NOACTIVATE : 0), name.c_str(), L"glyphfall",
                                 WS_POPUP | (IsCopy() ? 0 : WS_VISIBLE), place.Left, place.Top, Saver.Width,
                                 Saver.Height, nullptr, nullptr, Saver.Instance, nullptr);
        if (window && IsCopy()) {
            ShowWindow(window, SW_SHOWNA);
        } else if (window) {
            SetForegroundWindow(window);
            // A zero wait sends the focus request now, not once the first
            // scene is ready; then the copies may open their windows.
            MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0);
            if (Saver.KeyboardTaken)
                SetEvent(Saver.KeyboardTaken);
        }
    }
    return TakeWindow(window, Saver.Width, Saver.Height, width, height, error);
}

void PlatformCloseWindow()
{
    PumpStop();
    FreeDibSection(&Saver.Picture);
    if (HWND window = Loop.Window.exchange(nullptr))
        DestroyWindow(window);
}

void PlatformPostEvent(EventKind kind)
{
    if (kind == EventQuit)
        PostQuitMessage(0);
    else if (GetCurrentThreadId() == Saver.MainThread)
        QueueEnd();
    else
        PostMessageW(Loop.Window, EndMessage, 0, 0);
}

void PlatformEndWindow(const char* className)
{
    // The window goes first, so that the desktop reappears at once; the
    // class can only be unregistered once no window of it is left.
    if (HWND window = Loop.Window.exchange(nullptr))
        DestroyWindow(window);
    UnregisterClassW(Wide(className).c_str(), Saver.Instance);
    if (!IsPreview())
        InvalidateRect(nullptr, nullptr, FALSE);
}

void PlatformShowError(const char* title, const char* text)
{
    ShowErrorBox("glyphfall.scr", IsPreview() ? nullptr : Loop.Window.load(), title, text);
}
