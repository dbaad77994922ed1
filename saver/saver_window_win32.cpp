// The screen saver's window on Win32, behind the same window.h and display.h
// as glyphfall.exe's, so that the shared window procedure applies the same
// rules: a top-most pop-up over one monitor (/s), or a child filling the
// preview window (/p), which reads no input and ends with its parent.
//
// Unlike glyphfall.exe, the saver enlarges (or, in a preview lower than the
// raster, reduces) the picture itself, by the scaler's nearest-neighbour
// rule, exactly as the XScreenSaver hack does: GDI's stretching rules differ
// between systems and, when reducing, blend rows instead of picking them.
//
// Threads: the window is used on the main thread only; frames from the
// animation thread go through the frame slot with one coalesced wake-up.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>

#include "platform/display.h"
#include "platform/frame_slot.h"
#include "platform/scaler.h"
#include "platform/window.h"
#include "saver/saver_win32.h"

using Clock = std::chrono::steady_clock;

constexpr UINT WakeMessage = WM_APP + 1;   // a frame waits in the slot
constexpr UINT EndMessage = WM_APP + 2;    // the end, asked for by another thread

static struct {
    SaverPlace Place;
    std::atomic<HWND> Window{nullptr};      // read by the animation thread, cleared when the window goes
    HINSTANCE Instance = nullptr;
    DWORD MainThread = 0;
    int32_t Width = 0, Height = 0;          // the window's client area
    std::deque<PlatformEvent> Events;
    Clock::duration RefreshInterval = std::chrono::microseconds(16667);
    Clock::time_point LastShown;

    // The picture as shown: a window-sized 32-bit DIB section in a memory DC,
    // kept for repainting.
    HDC PictureDc = nullptr;
    HBITMAP Picture = nullptr;
    HGDIOBJ FirstBitmap = nullptr;
    uint8_t* PictureBits = nullptr;
    ScaleTables Tables;

    FrameSlot Slot;
    ShownFrame Taken;
    std::atomic<bool> WakePosted{false};
    bool FrameWaiting = false;
    bool Ending = false;                    // the end is under way: queue no second one

    std::mutex OverlayLock;
    std::string Overlay;
} Saver;

void SetSaverPlace(const SaverPlace& place)
{
    Saver.Place = place;
}

void SetSaverOverlay(const std::string& text)
{
    std::lock_guard<std::mutex> lock(Saver.OverlayLock);
    Saver.Overlay = text;
}

static bool IsPreview()
{
    return Saver.Place.PreviewParent != nullptr;
}

static void Queue(EventKind kind, MouseButton button = ButtonOther, int32_t x = 0, int32_t y = 0)
{
    // A preview is only a picture: the dialog around it keeps the input.
    if (IsPreview() && kind != EventDestroy)
        return;
    Saver.Events.push_back(PlatformEvent{kind, button, x, y});
}

static void QueueEnd();

static void Repaint(HDC dc)
{
    if (Saver.PictureDc)
        BitBlt(dc, 0, 0, Saver.Width, Saver.Height, Saver.PictureDc, 0, 0, SRCCOPY);
}

static LRESULT CALLBACK SaverProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
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
        POINT p = {};
        GetCursorPos(&p);
        Queue(EventMouseMove, ButtonOther, p.x, p.y);
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        Repaint(dc);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_ERASEBKGND:
        return 1;   // the picture covers everything; erasing would only flicker
    case WM_DESTROY:
        // A preview's parent going away destroys this child too.
        Saver.Window = nullptr;
        QueueEnd();
        return 0;
    case WakeMessage:
        Saver.FrameWaiting = true;
        return 0;
    case EndMessage:
        QueueEnd();
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

bool PlatformOpenWindow(const char* className, int32_t* width, int32_t* height, std::string* error)
{
    Saver.Instance = GetModuleHandleW(nullptr);
    Saver.MainThread = GetCurrentThreadId();
    const std::wstring name = Wide(className);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = SaverProc;
    windowClass.lpszClassName = name.c_str();
    windowClass.hInstance = Saver.Instance;
    RegisterClassW(&windowClass);
    if (IsPreview()) {
        RECT client = {};
        GetClientRect(Saver.Place.PreviewParent, &client);
        Saver.Width = client.right - client.left;
        Saver.Height = client.bottom - client.top;
        Saver.Window = CreateWindowExW(0, name.c_str(), L"", WS_CHILD | WS_VISIBLE | WS_DISABLED, 0, 0, Saver.Width,
                                       Saver.Height, Saver.Place.PreviewParent, nullptr, Saver.Instance, nullptr);
    } else {
        const RECT& m = Saver.Place.Monitor;
        Saver.Width = m.right - m.left;
        Saver.Height = m.bottom - m.top;
        Saver.Window = CreateWindowExW(WS_EX_TOPMOST, name.c_str(), L"glyphfall", WS_POPUP | WS_VISIBLE, m.left, m.top,
                                       Saver.Width, Saver.Height, nullptr, nullptr, Saver.Instance, nullptr);
        if (Saver.Window)
            SetForegroundWindow(Saver.Window);
    }
    if (!Saver.Window) {
        *error = "cannot create the window (error " + std::to_string(GetLastError()) + ")";
        return false;
    }
    HDC screen = GetDC(nullptr);
    const int hertz = GetDeviceCaps(screen, VREFRESH);
    ReleaseDC(nullptr, screen);
    if (hertz > 1)
        Saver.RefreshInterval = std::chrono::microseconds(1000000 / hertz);
    *width = Saver.Width;
    *height = Saver.Height;
    return true;
}

static void FreePicture()
{
    if (!Saver.PictureDc)
        return;
    SelectObject(Saver.PictureDc, Saver.FirstBitmap);
    DeleteDC(Saver.PictureDc);
    DeleteObject(Saver.Picture);
    Saver.PictureDc = nullptr;
    Saver.Picture = nullptr;
    Saver.PictureBits = nullptr;
}

void PlatformCloseWindow()
{
    FreePicture();
    if (HWND window = Saver.Window.exchange(nullptr))
        DestroyWindow(window);
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
    if (!IsPreview())
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

static bool MakePicture()
{
    if (Saver.PictureDc)
        return true;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = Saver.Width;
    info.bmiHeader.biHeight = -Saver.Height;   // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = bitmap ? CreateCompatibleDC(nullptr) : nullptr;
    if (!dc) {
        if (bitmap)
            DeleteObject(bitmap);
        return false;
    }
    Saver.PictureDc = dc;
    Saver.Picture = bitmap;
    Saver.FirstBitmap = SelectObject(dc, bitmap);
    Saver.PictureBits = static_cast<uint8_t*>(bits);
    SetBkColor(dc, RGB(0, 0, 0));
    SetTextColor(dc, RGB(255, 255, 255));
    return true;
}

// Scales the raster into the picture, adds the overlay line, and puts the
// picture on the window. Main thread only.
static void ShowRows(const uint8_t* const* rows, int32_t width, int32_t height)
{
    if (!Saver.Window || Saver.Width <= 0 || Saver.Height <= 0 || !MakePicture())
        return;
    GdiFlush();   // GDI must be done with the bits before they are written
    PrepareScaleTables(&Saver.Tables, width, height, Saver.Width, Saver.Height);
    ScaleRaster(&Saver.Tables, rows, PixelLayout{16, 8, 0, 0}, Saver.PictureBits, Saver.Width * 4);
    std::string overlay;
    {
        std::lock_guard<std::mutex> lock(Saver.OverlayLock);
        overlay = Saver.Overlay;
    }
    if (!overlay.empty())
        TextOutW(Saver.PictureDc, 8, Saver.Height - 24, Wide(overlay.c_str()).c_str(), int(overlay.size()));
    HDC dc = GetDC(Saver.Window);
    Repaint(dc);
    ReleaseDC(Saver.Window, dc);
    Saver.LastShown = Clock::now();
}

static void ShowPendingFrame()
{
    Saver.FrameWaiting = false;
    Saver.WakePosted.store(false);
    if (!TakeFrame(&Saver.Slot, &Saver.Taken))
        return;
    std::vector<const uint8_t*> rows(size_t(Saver.Taken.Height));
    for (int32_t y = 0; y < Saver.Taken.Height; ++y)
        rows[size_t(y)] = Saver.Taken.Pixels.data() + size_t(y) * size_t(Saver.Taken.Width) * 3;
    ShowRows(rows.data(), Saver.Taken.Width, Saver.Taken.Height);
}

void PlatformPresent(uint8_t* const* rows, int32_t width, int32_t height)
{
    const HWND window = Saver.Window;
    if (!window)
        return;
    if (GetCurrentThreadId() == Saver.MainThread) {
        ShowRows(rows, width, height);
        return;
    }
    PutFrame(&Saver.Slot, rows, width, height);
    // A refused post must not leave the flag set, or no later frame would
    // ever wake the main thread again.
    if (!Saver.WakePosted.exchange(true) && !PostMessageW(window, WakeMessage, 0, 0))
        Saver.WakePosted.store(false);
}

// The end, wherever it was asked for: the other monitors' savers are told
// through the shared event, this one leaves its loop through its queue.
static void QueueEnd()
{
    if (Saver.Ending)
        return;
    Saver.Ending = true;
    if (Saver.Place.EndEvent)
        SetEvent(Saver.Place.EndEvent);
    Saver.Events.push_back(PlatformEvent{EventDestroy, ButtonOther, 0, 0});
}

void PlatformPostEvent(EventKind kind)
{
    if (kind == EventQuit)
        PostQuitMessage(0);
    else if (GetCurrentThreadId() == Saver.MainThread)
        QueueEnd();
    else
        PostMessageW(Saver.Window, EndMessage, 0, 0);
}

static bool TakeEvent(PlatformEvent* event)
{
    if (Saver.Events.empty())
        return false;
    *event = Saver.Events.front();
    Saver.Events.pop_front();
    return true;
}

bool PlatformGetEvent(PlatformEvent* event)
{
    using namespace std::chrono;
    *event = PlatformEvent{EventNone, ButtonOther, 0, 0};
    if (TakeEvent(event))
        return true;
    const auto wait =
        FrameWait(Clock::now(), Saver.LastShown, Saver.RefreshInterval, Saver.FrameWaiting, milliseconds(10));
    HANDLE end = Saver.Place.EndEvent;
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(end ? 1 : 0, end ? &end : nullptr, DWORD(wait.count()), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
    if (end && woke == WAIT_OBJECT_0 && !Saver.Ending)
        QueueEnd();
    // A preview whose parent went without our child being told.
    if (IsPreview() && Saver.Window && !IsWindow(Saver.Place.PreviewParent))
        QueueEnd();
    MSG message;
    if (PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0)
            return false;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (Saver.FrameWaiting && FrameDue(Clock::now(), Saver.LastShown, Saver.RefreshInterval))
        ShowPendingFrame();
    TakeEvent(event);
    return true;
}

void PlatformEndWindow(const char* className)
{
    // The window goes first, so that the desktop reappears at once; the
    // class can only be unregistered once no window of it is left.
    if (HWND window = Saver.Window.exchange(nullptr))
        DestroyWindow(window);
    UnregisterClassW(Wide(className).c_str(), Saver.Instance);
    if (!IsPreview())
        InvalidateRect(nullptr, nullptr, FALSE);
}

void PlatformShowError(const char* title, const char* text)
{
    std::fprintf(stderr, "glyphfall.scr: %s: %s\n", title, text);
    std::fflush(stderr);
    MessageBoxW(IsPreview() ? nullptr : Saver.Window.load(), Wide(text).c_str(), Wide(title).c_str(),
                MB_ICONSTOP | MB_OK);
}
