// Nearest-neighbour enlargement of the raster onto a 32-bit screen surface,
// exact to the pixel: screen column X shows raster column
// floor(X * rasterWidth / screenWidth), screen row Y raster row
// floor(Y * rasterHeight / screenHeight). No SDL here, so tests and
// benchmarks run it without a display.
#pragma once
#include <cstdint>
#include <vector>

struct ScaleTables {
    int32_t RasterWidth = 0, RasterHeight = 0;
    int32_t ScreenWidth = 0, ScreenHeight = 0;
    std::vector<int32_t> Column;   // screen column -> raster column
    std::vector<int32_t> Row;      // screen row -> raster row
    std::vector<uint32_t> Packed;  // one raster row converted to screen pixels
};

// Where the colour channels sit in a 32-bit screen pixel; Opaque is or-ed in.
struct PixelLayout {
    int RedShift, GreenShift, BlueShift;
    uint32_t Opaque;
};

// Rebuilds the tables when a size differs from the one they were made for.
void PrepareScaleTables(ScaleTables* tables, int32_t rasterWidth, int32_t rasterHeight,
                        int32_t screenWidth, int32_t screenHeight);

// Writes the whole screen: pitch is the byte distance between screen rows.
// Each raster row is converted once; repeated screen rows are copies.
void ScaleRaster(ScaleTables* tables, const uint8_t* const* rows, const PixelLayout& layout,
                 uint8_t* screen, int32_t pitch);
