// The raster's surface on Windows: a 24-bit DIB section selected into a
// memory device context, so that GDI's fill and text and the program's
// direct access through the row pointers work on the same pixels. GdiFlush
// after each drawing call keeps the promise that a drawing call is complete
// when it returns (GDI may batch).
#include <algorithm>
#include <string>

#include "platform/surface.h"
#include "platform/win32/win32.h"

static struct {
    DibSection Raster;
    HGDIOBJ FirstFont = nullptr;      // the DC's own, put back before the font is deleted
    HFONT Font = nullptr;
    COLORREF TextColour = 0;
    bool TextColourTaken = false;
} Surface;

// The system's text for an error code, without the line break it ends with;
// "" when it has none (the caller then names the failure itself).
static std::string SystemErrorText(DWORD code)
{
    if (code == 0)
        return "";
    wchar_t text[512] = L"";
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                   text, 512, nullptr);
    char utf8[2048] = "";
    WideCharToMultiByte(CP_UTF8, 0, text, int(n), utf8, sizeof utf8 - 1, nullptr, nullptr);
    std::string s(utf8);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' '))
        s.pop_back();
    return s;
}

bool PlatformCreateSurface(int32_t width, int32_t height, uint8_t** rows, std::string* error)
{
    DibSection made;
    SetLastError(0);
    if (!MakeDibSection(width, height, 24, &made)) {
        *error = SystemErrorText(GetLastError());
        return false;
    }
    PlatformReleaseSurface();
    Surface.Raster = made;
    if (Surface.Font)
        Surface.FirstFont = SelectObject(made.Dc, Surface.Font);
    for (int32_t y = 0; y < height; ++y)
        rows[y] = made.Bits + made.Stride * size_t(y);
    return true;
}

void PlatformReleaseSurface()
{
    if (Surface.FirstFont)
        SelectObject(Surface.Raster.Dc, Surface.FirstFont);
    Surface.FirstFont = nullptr;
    FreeDibSection(&Surface.Raster);
}

void PlatformFillWhite(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (!Surface.Raster.Dc)
        return;
    const RECT rect = {left, top, right, bottom};
    FillRect(Surface.Raster.Dc, &rect, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
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
    HFONT font = CreateFontW(-emPixels, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                             OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                             Wide(face).c_str());
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
    if (Surface.Raster.Dc)
        Surface.FirstFont = SelectObject(Surface.Raster.Dc, font);
    return true;
}

void PlatformDrawCharacter(uint8_t code, int32_t left, int32_t top)
{
    if (!Surface.Raster.Dc || !Surface.Font)
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
    SetTextColor(Surface.Raster.Dc, Surface.TextColour);
    SetBkColor(Surface.Raster.Dc, RGB(255, 255, 255));
    SetBkMode(Surface.Raster.Dc, OPAQUE);
    TextOutW(Surface.Raster.Dc, left, top, &character, 1);
    GdiFlush();
}

void PlatformCloseFont()
{
    if (!Surface.Font)
        return;
    if (Surface.Raster.Dc && Surface.FirstFont)
        SelectObject(Surface.Raster.Dc, Surface.FirstFont);
    Surface.FirstFont = nullptr;
    DeleteObject(Surface.Font);
    Surface.Font = nullptr;
}
