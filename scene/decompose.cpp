// Block decomposition: a quadtree over the two-tone picture. Each all-black
// square becomes one Block at rest over its own pixels; mixed squares split
// in four; a non-square area is squared first and its remainder handled
// after everything inside the square.
#include "common/random.h"
#include "scene/scene.h"

std::vector<Block> BlockList;

double MeanRed(Rectangle rect)
{
    double sum = 0.0;
    for (int32_t y = rect.Top; y <= rect.Bottom; ++y) {
        const uint8_t* row = RowTable[y];
        for (int32_t x = rect.Left; x <= rect.Right; ++x)
            sum += row[x * 3 + 2];
    }
    return sum / (double(rect.Bottom - rect.Top + 1) * double(rect.Right - rect.Left + 1));
}

static void AppendBlock(int32_t left, int32_t top, int32_t s)
{
    Block b;
    b.SizeX = s;
    b.SizeY = s;
    b.Half = double(s) / 2.0;
    b.X = b.Half + left;
    b.Y = b.Half + top;
    b.Mass = uint32_t(s + 1) * uint32_t(s + 1);
    b.VX = 0.0;
    b.VY = 0.0;
    // Red, green, blue: the order the generator is consumed in.
    b.Colour.Red = uint8_t(Random(220));
    b.Colour.Green = uint8_t(Random(220));
    b.Colour.Blue = uint8_t(Random(220));
    BlockList.push_back(b);
}

void Decompose(Rectangle rect)
{
    // The remainder of a non-square area is decomposed last; a loop instead of
    // the tail call keeps very wide rasters from nesting thousands deep.
    for (;;) {
        int32_t L = rect.Left, T = rect.Top, R = rect.Right, B = rect.Bottom;
        const int32_t w = R - L, h = B - T;
        // An empty area has no pixels to cut; only a caller's empty rectangle
        // gets here, since squaring and quartering never make one.
        if (w < 0 || h < 0)
            return;
        bool hasRemainder = false;
        Rectangle remainder{};
        if (h < w) {
            remainder = {L + h + 1, T, R, B};
            hasRemainder = true;
            R = L + h;
        } else if (h > w) {
            remainder = {L, T + w + 1, R, B};
            hasRemainder = true;
            B = T + w;
        }
        const int32_t s = R - L;
        const double m = MeanRed({L, T, R, B});
        if (m == 0.0) {
            AppendBlock(L, T, s);
        } else if (m != 255.0 && s > 0) {
            const int32_t mx = L + s / 2, my = T + s / 2;
            Decompose({L, T, mx, my});
            Decompose({mx + 1, T, R, my});
            Decompose({L, my + 1, mx, B});
            Decompose({mx + 1, my + 1, R, B});
        }
        // A single pixel whose red is neither 0 nor 255 (s == 0 above) makes
        // no block: quartering it would hand the same pixel back forever. Only
        // a picture that skipped the two-tone conversion has such pixels.
        if (!hasRemainder)
            return;
        rect = remainder;
    }
}
