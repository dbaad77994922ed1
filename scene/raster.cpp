// The raster: one block of 24-bit pixels with 4-byte aligned rows, reached
// only through the RowTable, plus the two ways pictures get into it (the
// white fill and the letter) and the one way out (PresentRaster).
#include "scene/scene.h"

#include <cstdlib>
#include <cstring>

#include "common/round.h"
#include "platform/platform.h"

int32_t RasterWidth = 0;
uint8_t* RowTable[RasterHeight] = {};
Rectangle WorkRect = {0, 0, -1, -1};
Rectangle ClearRect = {0, 0, 0, 0};

static uint8_t* RasterPixels = nullptr;  // owner of the memory RowTable points into

int32_t RasterWidthFor(int32_t screenWidth, int32_t screenHeight)
{
    return Round(150.0 * (double(screenWidth) / double(screenHeight)));
}

bool CreateRaster(int32_t screenWidth, int32_t screenHeight, std::string* error)
{
    const int32_t width = screenHeight > 0 ? RasterWidthFor(screenWidth, screenHeight) : 0;
    if (width <= 0) {
        *error = "a raster of 0 columns cannot be created for a screen of " + std::to_string(screenWidth) +
                 " x " + std::to_string(screenHeight) + " pixels";
        return false;
    }
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    // A new raster is entirely white.
    uint8_t* pixels = static_cast<uint8_t*>(std::malloc(stride * RasterHeight));
    if (!pixels) {
        *error = "Out of system resources";
        return false;
    }
    std::memset(pixels, 255, stride * RasterHeight);
    ReleaseRaster();
    RasterPixels = pixels;
    RasterWidth = width;
    for (int32_t y = 0; y < RasterHeight; ++y)
        RowTable[y] = pixels + stride * size_t(y);
    WorkRect = {0, 0, width - 1, RasterHeight - 1};
    // Left is 1: column 0 is never cleared, so it keeps its last two-tone value.
    ClearRect = {1, 0, width, RasterHeight};
    return true;
}

void ReleaseRaster()
{
    if (!RasterPixels)
        return;
    std::free(RasterPixels);
    RasterPixels = nullptr;
    for (uint8_t*& row : RowTable)
        row = nullptr;
}

static void FillWhite(int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    // Right/bottom-exclusive, clipped to the raster.
    if (left < 0) left = 0;
    if (top < 0) top = 0;
    if (right > RasterWidth) right = RasterWidth;
    if (bottom > RasterHeight) bottom = RasterHeight;
    if (left >= right)
        return;
    for (int32_t y = top; y < bottom; ++y)
        std::memset(RowTable[y] + size_t(left) * 3, 255, size_t(right - left) * 3);
}

void ClearRaster()
{
    FillWhite(ClearRect.Left, ClearRect.Top, ClearRect.Right, ClearRect.Bottom);
}

bool SetRasterFont(const char* face, int emPixels, std::string* error)
{
    // The Cyrillic capitals are what the scenes draw, so the face must have them.
    return PlatformOpenFont(face, emPixels, 0x0410, 0x042F, error);
}

// Windows-1251 for the bytes the scenes use: ASCII, and the Cyrillic
// letters at 0xC0..0xFF. Other bytes draw nothing (0).
static uint32_t CodePointOf(uint8_t code)
{
    if (code < 0x80)
        return code;
    if (code >= 0xC0)
        return 0x0410u + (code - 0xC0u);
    return 0;
}

void DrawLetter(uint8_t code)
{
    constexpr int32_t CellLeft = 60, CellTop = 20;
    GlyphImage glyph;
    const uint32_t cp = CodePointOf(code);
    if (cp == 0 || !PlatformRenderGlyph(cp, &glyph))
        return;
    // Opaque text: the whole character cell becomes white first.
    FillWhite(CellLeft, CellTop, CellLeft + glyph.Advance, CellTop + glyph.CellHeight);
    for (int32_t gy = 0; gy < glyph.Height; ++gy) {
        const int64_t y = int64_t(CellTop) + glyph.Top + gy;
        if (y < 0 || y >= RasterHeight)
            continue;
        const uint8_t* src = glyph.Coverage + size_t(gy) * size_t(glyph.Width) * size_t(glyph.Channels);
        for (int32_t gx = 0; gx < glyph.Width; ++gx) {
            const int64_t x = int64_t(CellLeft) + glyph.Left + gx;
            if (x < 0 || x >= RasterWidth)
                continue;
            uint8_t* px = RowTable[y] + x * 3;
            // Black ink over white: each channel loses what the ink covers.
            if (glyph.Channels == 3) {
                const uint8_t* c = src + gx * 3;
                px[0] = uint8_t(255 - c[0]);
                px[1] = uint8_t(255 - c[1]);
                px[2] = uint8_t(255 - c[2]);
            } else {
                const uint8_t v = uint8_t(255 - src[gx]);
                px[0] = px[1] = px[2] = v;
            }
        }
    }
}

void PresentRaster()
{
    PlatformPresent(RowTable, RasterWidth, RasterHeight);
}
