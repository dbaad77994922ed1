// What the Win32 backend's files share: windows.h as they include it, UTF-16
// at the boundary, and the 24-bit DIB section both the raster and the
// picture on show are made of.
#pragma once
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX 1
#endif
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

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

// A 24-bit top-down DIB section (row 0 at the top, as the row table has it)
// selected into a memory DC: GDI draws into it and the program reaches its
// bytes directly.
struct DibSection {
    HDC Dc = nullptr;
    HBITMAP Bitmap = nullptr;
    HGDIOBJ FirstBitmap = nullptr;   // the DC's own, put back before the DC is deleted
    uint8_t* Bits = nullptr;         // rows of Stride bytes
    size_t Stride = 0;               // 3 * width rounded up to 4
    int32_t Width = 0, Height = 0;
};

// Makes a white one; false, with GetLastError set by the call that failed,
// when the bitmap or the DC is refused.
inline bool MakeDibSection(int32_t width, int32_t height, DibSection* dib)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
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
    dib->Stride = (size_t(width) * 3 + 3) & ~size_t(3);
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
