// What the Win32 backend's files share: windows.h as they include it, UTF-16
// at the boundary, the DIB section the raster and the pictures on show are
// made of, and the message loop both glyphfall.exe's and glyphfall.scr's
// windows run (loop_win32.cpp).
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX 1
#endif
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <string>

#include "platform/window.h"

// UTF-8 (the program's strings) as UTF-16 (the W calls').
inline std::wstring Wide(const char* text)
{
    const int n = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
    std::wstring wide(size_t(n > 0 ? n : 1), L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), n);
    wide.resize(wide.size() - 1);
    return wide;
}

// A top-down DIB section (row 0 at the top, as the row table has it) of 24
// or 32 bits a pixel, selected into a memory DC: GDI draws into it and the
// program reaches its bytes directly.
struct DibSection {
    HDC Dc = nullptr;
    HBITMAP Bitmap = nullptr;
    HGDIOBJ FirstBitmap = nullptr;   // the DC's own, put back before the DC is deleted
    uint8_t* Bits = nullptr;         // rows of Stride bytes
    size_t Stride = 0;               // bytes a pixel * width, rounded up to 4
    int32_t Width = 0, Height = 0;
};

// Makes a white one; false, with GetLastError set by the call that failed,
// when the bitmap or the DC is refused.
inline bool MakeDibSection(int32_t width, int32_t height, WORD bitCount, DibSection* dib)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = bitCount;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = bitmap ? CreateCompatibleDC(nullptr) : nullptr;
    if (!dc) {
        if (bitmap)
            DeleteObject(bitmap);
        return false;
    }
    dib->Dc = dc;
    dib->Bitmap = bitmap;
    dib->FirstBitmap = SelectObject(dc, bitmap);
    dib->Bits = static_cast<uint8_t*>(bits);
    dib->Stride = (size_t(width) * (bitCount / 8) + 3) & ~size_t(3);
    dib->Width = width;
    dib->Height = height;
    // A new DIB section is black.
    std::memset(bits, 255, dib->Stride * size_t(height));
    return true;
}

// Safe to repeat.
inline void FreeDibSection(DibSection* dib)
{
    if (!dib->Dc)
        return;
    SelectObject(dib->Dc, dib->FirstBitmap);
    DeleteDC(dib->Dc);
    DeleteObject(dib->Bitmap);
    *dib = DibSection{};
}

// The message loop of the program's one window, shared by glyphfall.exe's
// window (window_win32.cpp) and glyphfall.scr's (saver_window_win32.cpp):
// the translated events not yet taken, and the frame pump's wait and
// wake-up. What differs between the two windows comes in as the fields
// below "set by the window's backend" and the functions its file defines.
//
// Threads: everything is the main thread's except Window, read by the
// animation thread for the pump's wake-up.

// Posted by the animation thread: a frame waits in the pump.
constexpr UINT WakeMessage = WM_APP + 1;

struct WindowLoop {
    // Set by the window's backend before its window opens.
    bool InputIgnored = false;              // a preview: input is the dialog's, only EventDestroy is queued
    HANDLE Ends[2] = {};                    // the saver's shared end and a copy's parent, waited on beside
    DWORD EndCount = 0;                     // the messages: either ends the saver

    std::atomic<HWND> Window{nullptr};      // the window frames go to; null once it is gone
    std::deque<PlatformEvent> Events;       // translated, not yet taken
};
extern WindowLoop Loop;

// Defined by each window's file: its own checks after every wait of the
// loop; endSet when one of Ends was signalled, or the wait failed.
void WindowAfterWait(bool endSet);

// Registers the window class (procedure and name only: no background brush,
// so the window never erases itself).
void RegisterWindowClass(const std::wstring& className, WNDPROC procedure, HINSTANCE classOwner);
// Takes the created window of width x height (null: error says why), starts
// the frame pump at the display's refresh and tells the size.
bool TakeWindow(HWND window, int32_t width, int32_t height, int32_t* widthOut, int32_t* heightOut,
                std::string* error);

void QueueEvent(EventKind kind, MouseButton button = ButtonOther, int32_t x = 0, int32_t y = 0);

// Translates the input messages both windows read, and the wake-up. True
// when the message is done with (the procedure returns 0); false when it
// still goes on, to the window's own cases or the default procedure: input
// the program ignores (system keys, the middle button, the wheel) is queued
// and still handled by default, so Alt+F4 closes the window as everywhere.
bool TranslateInput(UINT message);

// A modal error box, also on stderr under the program's name.
void ShowErrorBox(const char* program, HWND owner, const char* title, const char* text);

// glyphfall.scr's window, one process per monitor: endEvent, waited on by
// every monitor's process and set by the first to end; keyboardTaken, set by
// the first process's window once it holds the keyboard, which a copy (the
// window of another monitor) waits for before it opens its own; parent, a
// copy's first process, which it ends with (null in the first process).
// All null: one monitor. Set before the window opens.
void ShareSaverEvents(HANDLE endEvent, HANDLE keyboardTaken, HANDLE parent);
