// The raster's surface on Windows: a 24-bit DIB section selected into a
// memory device context, so that GDI's fill and text and the program's
// direct access through the row pointers work on the same pixels. GdiFlush
// after each drawing call keeps the promise that a drawing call is complete
// when it returns (GDI may batch).
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/surface.h"

static struct {
    HDC Dc = nullptr;                 // memory DC with Bitmap selected
    HBITMAP Bitmap = nullptr;
    HGDIOBJ FirstBitmap = nullptr;    // the DC's own, put back before it is deleted
    HGDIOBJ FirstFont = nullptr;
    HFONT Font = nullptr;
    COLORREF TextColour = 0;
    bool TextColourTaken = false;
} Surface;

// The system's text for an error code, without the line break it ends with;
// "" when it has none (the caller then names the failure itself).
static std::string SystemErrorText(DWORD code)
{
    char text[512] = "";
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                   text, sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

bool PlatformCreateSurface(int32_t width, int32_t height, uint8_t** rows, std::string* error)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;   // top-down: row 0 is the top row, as the row table has it
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    SetLastError(0);
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = bitmap ? CreateCompatibleDC(nullptr) : nullptr;
    if (!dc) {
        *error = SystemErrorText(GetLastError());
        if (bitmap)
            DeleteObject(bitmap);
        return false;
    }
    PlatformReleaseSurface();
    Surface.Dc = dc;
    Surface.Bitmap = bitmap;
    Surface.FirstBitmap = SelectObject(dc, bitmap);
    if (Surface.Font)
        Surface.FirstFont = SelectObject(dc, Surface.Font);
    // A new DIB section is black; a new raster is white.
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    std::memset(bits, 255, stride * size_t(height));
    for (int32_t y = 0; y < height; ++y)
        rows[y] = static_cast<uint8_t*>(bits) + stride * size_t(y);
    return true;
}

void PlatformReleaseSurface()
{
    if (!Surface.Dc)
        return;
    if (Surface.FirstFont)
        SelectObject(Surface.Dc, Surface.FirstFont);
    SelectObject(Surface.Dc, Surface.FirstBitmap);
    DeleteDC(Surface.Dc);
    DeleteObject(Surface.Bitmap);
    Surface.Dc = nullptr;
    Surface.Bitmap = nullptr;
    Surface.FirstBitmap = Surface.FirstFont = nullptr;
}

void PlatformFillWhite(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (!Surface.Dc)
        return;
    const RECT rect = {left, top, right, bottom};
    FillRect(Surface.Dc, &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    GdiFlush();
}

bool PlatformOpenFont(const char* face, int emPixels, std::string* error)
{
    PlatformCloseFont();
    const std::string wanted = std::string("a font like \"") + face + "\" with the characters U+0410..U+042F";
    if (emPixels <= 0) {
        *error = "cannot set a font to an em of " + std::to_string(emPixels) + " pixels";
        return false;
    }
    // A negative height asks for that em height in pixels. Default character
    // set, pitch and quality: the system's font smoothing decides the edges.
    HFONT font = CreateFontA(-emPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             face);
    if (!font) {
        *error = "no font could be made: looked for " + wanted;
        return false;
    }
    // Windows-1251's capitals are what the scenes draw: the face GDI maps
    // the name to must have every one.
    HDC probe = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(probe, font);
    WCHAR capitals[32];
    WORD glyphs[32];
    for (int i = 0; i < 32; ++i)
        capitals[i] = WCHAR(0x0410 + i);
    const bool all = GetGlyphIndicesW(probe, capitals, 32, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == 32 &&
                     std::none_of(glyphs, glyphs + 32, [](WORD g) { return g == 0xFFFF; });
    SelectObject(probe, old);
    DeleteDC(probe);
    if (!all) {
        DeleteObject(font);
        *error = "no installed font found: looked for " + wanted;
        return false;
    }
    Surface.Font = font;
    if (Surface.Dc)
        Surface.FirstFont = SelectObject(Surface.Dc, font);
    return true;
}

void PlatformDrawCharacter(uint8_t code, int32_t left, int32_t top)
{
    if (!Surface.Dc || !Surface.Font)
        return;
    // The byte is read in Windows-1251 whatever the system's own 8-bit code
    // page is: a Western one would make 0xC0 a Latin A with grave.
    WCHAR character = 0;
    const char byte = char(code);
    if (MultiByteToWideChar(1251, 0, &byte, 1, &character, 1) != 1)
        return;
    if (!Surface.TextColourTaken) {
        Surface.TextColour = GetSysColor(COLOR_WINDOWTEXT);
        Surface.TextColourTaken = true;
    }
    SetTextColor(Surface.Dc, Surface.TextColour);
    SetBkColor(Surface.Dc, RGB(255, 255, 255));
    SetBkMode(Surface.Dc, OPAQUE);
    TextOutW(Surface.Dc, left, top, &character, 1);
    GdiFlush();
}

void PlatformCloseFont()
{
    if (!Surface.Font)
        return;
    if (Surface.Dc && Surface.FirstFont)
        SelectObject(Surface.Dc, Surface.FirstFont);
    Surface.FirstFont = nullptr;
    DeleteObject(Surface.Font);
    Surface.Font = nullptr;
}
