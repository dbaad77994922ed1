// The attraction step: every block pulls every other with an acceleration
// of 0.1 * mass / (16 * distance) per step. There is no damping, collision or
// boundary; blocks may pass through one another and leave the raster.
//
// This is the step as defined, the plain loop over the pairs. Its results are
// the ones every faster route must give bit for bit, and its speed is the
// yardstick of the vectorised step (bench/ also builds it as the literal
// loop, one scalar operation for each one written; the bits are the same).
#include <cmath>

#include "animation/animation.h"
#include "common/state.h"

void AttractionStepReference(Block* blocks, size_t count)
{
    for (size_t i = 0; i + 1 < count; ++i) {
        if (!Animating.load(std::memory_order_relaxed))
            return;
        Block& a = blocks[i];
        for (size_t j = i + 1; j < count; ++j) {
            Block& b = blocks[j];
            const double dx = a.X - b.X;
            const double dy = a.Y - b.Y;
            const double d = std::sqrt(dx * dx + dy * dy) * 4.0;
            // Coincident centres: no direction to pull in; skip the pair.
            if (d == 0.0)
                continue;
            const double k = 0.1 / d;
            const double ax = (k * dx) / d;
            const double ay = (k * dy) / d;
            a.VX = a.VX - ax * double(b.Mass);
            a.VY = a.VY - ay * double(b.Mass);
            b.VX = b.VX + ax * double(a.Mass);
            b.VY = b.VY + ay * double(a.Mass);
        }
    }
}
