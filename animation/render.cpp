// Frame rendering: every block as a solid square of its colour.
#include <algorithm>
#include <cstdint>

#include "animation/animation.h"
#include "common/round.h"

void RenderFrame()
{
    ClearRaster();
    // Visible pixels satisfy 0 < row < WorkRect.Bottom and 0 < col < WorkRect.Right;
    // the last row and column and row 0 and column 0 never show a block.
    const int64_t rowLimit = WorkRect.Bottom, colLimit = WorkRect.Right;
    for (const Block& b : BlockList) {
        // 64-bit arithmetic: a far-away block's top + SizeY must not overflow.
        const int64_t top = Round(b.Y - b.Half);
        const int64_t left = Round(b.X - b.Half);
        const int64_t rowFirst = std::max<int64_t>(top, 1);
        const int64_t rowLast = std::min<int64_t>(top + b.SizeY, rowLimit - 1);
        const int64_t colFirst = std::max<int64_t>(left, 1);
        const int64_t colLast = std::min<int64_t>(left + b.SizeX, colLimit - 1);
        if (rowFirst > rowLast || colFirst > colLast)
            continue;
        for (int64_t row = rowFirst; row <= rowLast; ++row) {
            uint8_t* px = RowTable[row] + colFirst * 3;
            for (int64_t col = colFirst; col <= colLast; ++col, px += 3) {
                px[2] = b.Colour.Red;
                px[1] = b.Colour.Green;
                px[0] = b.Colour.Blue;
            }
        }
    }
    PresentRaster();
}
