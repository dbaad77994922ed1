// The raster: the platform's surface of 24-bit pixels with 4-byte aligned
// rows, reached only through the RowTable, plus the two ways pictures get
// into it (the white fill and the letter) and the one way out
// (PresentRaster).
#include "scene/scene.h"

#include <algorithm>

#include "common/round.h"
#include "platform/display.h"
#include "platform/surface.h"

int32_t RasterWidth = 0;
uint8_t* RowTable[RasterHeight] = {};
Rectangle WorkRect = {0, 0, -1, -1};
Rectangle ClearRect = {0, 0, 0, 0};

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
    // Into a table of its own: a refusal leaves the raster there is.
    uint8_t* rows[RasterHeight];
    if (!PlatformCreateSurface(width, RasterHeight, rows, error))
        return false;
    std::copy(rows, rows + RasterHeight, RowTable);
    RasterWidth = width;
    WorkRect = {0, 0, width - 1, RasterHeight - 1};
    // Left is 1: column 0 is never cleared, so it keeps its last two-tone value.
    ClearRect = {1, 0, width, RasterHeight};
    return true;
}

void ReleaseRaster()
{
    PlatformReleaseSurface();
    for (uint8_t*& row : RowTable)
        row = nullptr;
}

void ClearRaster()
{
    PlatformFillWhite(ClearRect.Left, ClearRect.Top, ClearRect.Right, ClearRect.Bottom);
}

bool SetRasterFont(const char* face, int emPixels, std::string* error)
{
    return PlatformOpenFont(face, emPixels, error);
}

void DrawLetter(uint8_t code)
{
    PlatformDrawCharacter(code, 60, 20);
}

void PresentRaster()
{
    PlatformPresent(RowTable, RasterWidth, RasterHeight);
}
