// Two-tone conversion: every pixel of WorkRect becomes pure black or pure
// white, split at the magnitude of the mean colour, with black always the
// tone fewer pixels fall into (the decomposition relies on exact 0 and 255).
#include <cmath>

#include "scene/scene.h"

Bgr MeanColour(Rectangle rect)
{
    uint64_t blue = 0, green = 0, red = 0;
    for (int32_t y = rect.Top; y <= rect.Bottom; ++y) {
        const uint8_t* row = RowTable[y];
        for (int32_t x = rect.Left; x <= rect.Right; ++x) {
            blue += row[x * 3 + 0];
            green += row[x * 3 + 1];
            red += row[x * 3 + 2];
        }
    }
    const int64_t n = int64_t(rect.Bottom - rect.Top + 1) * int64_t(rect.Right - rect.Left + 1);
    if (n <= 0)
        return {0, 0, 0};
    return {uint8_t(blue / uint64_t(n)), uint8_t(green / uint64_t(n)), uint8_t(red / uint64_t(n))};
}

static double Magnitude(int r, int g, int b)
{
    return std::sqrt(double(r * r + g * g + b * b));
}

void MakeTwoTone()
{
    const Rectangle rect = WorkRect;
    const Bgr mean = MeanColour(rect);
    const double ref = Magnitude(mean.Red, mean.Green, mean.Blue);

    uint32_t dark = 0, light = 0;
    for (int32_t y = rect.Top; y <= rect.Bottom; ++y) {
        const uint8_t* row = RowTable[y];
        for (int32_t x = rect.Left; x <= rect.Right; ++x) {
            const uint8_t* px = row + x * 3;
            if (ref > Magnitude(px[2], px[1], px[0]))
                ++dark;
            else
                ++light;
        }
    }

    // The minority becomes black; on a tie the light pixels do.
    const uint8_t darkTone = light > dark ? 0 : 255;
    const uint8_t lightTone = uint8_t(255 - darkTone);
    for (int32_t y = rect.Top; y <= rect.Bottom; ++y) {
        uint8_t* row = RowTable[y];
        for (int32_t x = rect.Left; x <= rect.Right; ++x) {
            uint8_t* px = row + x * 3;
            const uint8_t tone = ref > Magnitude(px[2], px[1], px[0]) ? darkTone : lightTone;
            px[2] = tone;
            px[1] = tone;
            px[0] = tone;
        }
    }
}
