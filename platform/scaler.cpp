#include "platform/scaler.h"

#include <bit>
#include <cstddef>
#include <cstring>

void PrepareScaleTables(ScaleTables* t, int32_t rasterWidth, int32_t rasterHeight, int32_t screenWidth,
                        int32_t screenHeight)
{
    if (t->RasterWidth == rasterWidth && t->RasterHeight == rasterHeight && t->ScreenWidth == screenWidth &&
        t->ScreenHeight == screenHeight)
        return;
    t->RasterWidth = rasterWidth;
    t->RasterHeight = rasterHeight;
    t->ScreenWidth = screenWidth;
    t->ScreenHeight = screenHeight;
    t->Column.resize(size_t(screenWidth));
    t->Row.resize(size_t(screenHeight));
    for (int32_t x = 0; x < screenWidth; ++x)
        t->Column[size_t(x)] = int32_t(int64_t(x) * rasterWidth / screenWidth);
    for (int32_t y = 0; y < screenHeight; ++y)
        t->Row[size_t(y)] = int32_t(int64_t(y) * rasterHeight / screenHeight);
    t->Packed.resize(size_t(rasterWidth));
}

PixelLayout LayoutFromMasks(uint32_t red, uint32_t green, uint32_t blue, uint32_t opaque)
{
    const auto shift = [](uint32_t mask) { return mask ? std::countr_zero(mask) : 0; };
    return PixelLayout{shift(red),           shift(green),         shift(blue),         opaque,
                       std::popcount(red), std::popcount(green), std::popcount(blue)};
}

PixelLayout LayoutOfImage(uint32_t red, uint32_t green, uint32_t blue, int depth, int bitsPerPixel)
{
    const uint32_t depthBits = depth >= 32 ? 0xFFFFFFFFu : (1u << depth) - 1;
    PixelLayout layout = LayoutFromMasks(red, green, blue, depthBits & ~(red | green | blue));
    layout.BytesPerPixel = bitsPerPixel / 8;
    return layout;
}

// An 8-bit channel value at bits bits: wider by repeating its top bits, so
// that 255 stays full scale (10 bits: v << 2 | v >> 6), narrower by cutting.
static uint32_t Widen(uint32_t v, int bits)
{
    if (bits < 8)
        return v >> (8 - bits);
    return bits < 16 ? v << (bits - 8) | v >> (16 - bits) : v << (bits - 8) | v << (bits - 16);
}

void ScaleRaster(ScaleTables* t, const uint8_t* const* rows, const PixelLayout& layout, uint8_t* screen,
                 int32_t pitch)
{
    const size_t rowBytes = size_t(t->ScreenWidth) * size_t(layout.BytesPerPixel);
    int32_t previous = -1;
    // Each channel's 256 values placed once per frame, not once per pixel.
    uint32_t red[256], green[256], blue[256];
    for (uint32_t v = 0; v < 256; ++v) {
        red[v] = Widen(v, layout.RedBits) << layout.RedShift;
        green[v] = Widen(v, layout.GreenBits) << layout.GreenShift;
        blue[v] = Widen(v, layout.BlueBits) << layout.BlueShift;
    }
    for (int32_t y = 0; y < t->ScreenHeight; ++y) {
        uint8_t* out = screen + ptrdiff_t(y) * pitch;
        const int32_t r = t->Row[size_t(y)];
        if (r == previous) {
            std::memcpy(out, out - pitch, rowBytes);
            continue;
        }
        previous = r;
        const uint8_t* src = rows[r];
        uint32_t* packed = t->Packed.data();
        for (int32_t x = 0; x < t->RasterWidth; ++x, src += 3)
            packed[x] = layout.Opaque | red[src[2]] | green[src[1]] | blue[src[0]];
        const int32_t* column = t->Column.data();
        if (layout.BytesPerPixel == 2) {
            uint16_t* dst = reinterpret_cast<uint16_t*>(out);
            for (int32_t x = 0; x < t->ScreenWidth; ++x)
                dst[x] = uint16_t(packed[column[x]]);
        } else {
            uint32_t* dst = reinterpret_cast<uint32_t*>(out);
            for (int32_t x = 0; x < t->ScreenWidth; ++x)
                dst[x] = packed[column[x]];
        }
    }
}
