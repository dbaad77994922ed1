// Nearest-neighbour enlargement of the raster onto a screen surface of
// 32 or 16 bits a pixel,
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

// Where the colour channels sit in a screen pixel of 4 (or 2) bytes and how
// wide each is (a deep-colour screen has 10 bits a channel); Opaque is or-ed in.
struct PixelLayout {
    int RedShift, GreenShift, BlueShift;
    uint32_t Opaque;
    int RedBits = 8, GreenBits = 8, BlueBits = 8;
    int BytesPerPixel = 4;
};

// The layout of a pixel whose channels are the given contiguous masks;
// opaque is or-ed into every pixel (an alpha channel's bits, or 0).
PixelLayout LayoutFromMasks(uint32_t red, uint32_t green, uint32_t blue, uint32_t opaque);
// The layout of an X image: its masks, and the bits of its depth that no
// mask covers (an ARGB visual's alpha) set, so that it shows opaque.
PixelLayout LayoutOfImage(uint32_t red, uint32_t green, uint32_t blue, int depth, int bitsPerPixel);

// Rebuilds the tables when a size differs from the one they were made for.
void PrepareScaleTables(ScaleTables* tables, int32_t rasterWidth, int32_t rasterHeight,
                        int32_t screenWidth, int32_t screenHeight);

// Writes the whole screen: pitch is the byte distance between screen rows.
// Each raster row is converted once; repeated screen rows are copies.
void ScaleRaster(ScaleTables* tables, const uint8_t* const* rows, const PixelLayout& layout,
                 uint8_t* screen, int32_t pitch);
