// The step the program runs, and the position update that follows it.
#include "animation/animation.h"
#include "animation/attraction_simd.h"
#include "common/state.h"

void AttractionStep(Block* blocks, size_t count)
{
    AttractionStepVector(blocks, count);
}

void PositionUpdate(Block* blocks, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        blocks[i].X = blocks[i].X + blocks[i].VX;
        blocks[i].Y = blocks[i].Y + blocks[i].VY;
    }
}
