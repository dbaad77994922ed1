#include "platform/scaler.h"

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

void ScaleRaster(ScaleTables* t, const uint8_t* const* rows, const PixelLayout& layout, uint8_t* screen,
                 int32_t pitch)
{
    const size_t rowBytes = size_t(t->ScreenWidth) * 4;
    int32_t previous = -1;
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
            packed[x] = layout.Opaque | uint32_t(src[2]) << layout.RedShift |
                        uint32_t(src[1]) << layout.GreenShift | uint32_t(src[0]) << layout.BlueShift;
        uint32_t* dst = reinterpret_cast<uint32_t*>(out);
        const int32_t* column = t->Column.data();
        for (int32_t x = 0; x < t->ScreenWidth; ++x)
            dst[x] = packed[column[x]];
    }
}
