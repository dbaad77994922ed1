// The animation: blocks pulling on one another, one frame per step, and the
// thread that loops over it while a scene is animating.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "scene/scene.h"

// The attraction step exactly as defined: pairs (i, j > i) in order, each
// block's velocity receiving its terms in increasing partner index. Tests
// Animating before each i and leaves early when it is off. A pair whose
// centres coincide is skipped for that step (dividing by its zero distance
// would turn every block into NaN). This loop defines the results.
void AttractionStepReference(Block* blocks, size_t count);

// The step the program runs: the same results, bit for bit, as the
// reference, by a faster route where the processor has one.
void AttractionStep(Block* blocks, size_t count);

// X += VX, then Y += VY, for every block in order.
void PositionUpdate(Block* blocks, size_t count);

// Clears the raster, paints every block (later ones over earlier ones),
// clipped strictly inside WorkRect, and presents the raster.
void RenderFrame();

// The scene clock: true when more than 60 seconds (strictly) separate the
// counter values start and now, at frequency ticks per second. Exact in
// integers, so 60 s to the tick is not yet expired; a start in the future or
// a frequency of zero or less never expires.
bool SceneExpired(int64_t now, int64_t start, int64_t frequency);

// One animation step: attraction and position update (when there are
// blocks), a frame, and the scene clock, which starts a new scene once more
// than 60 seconds have passed since SceneStart.
void AnimationStep();

// The animation thread: idles in 10 ms sleeps while Animating is off, steps
// back to back while it is on, and once Running is off releases the raster
// if a scene was ever handed to it (otherwise its owner still holds it).
void AnimationThread();

// The screen savers' animation thread: it builds every scene itself (the
// main thread serves the window meanwhile) and waits delayMicroseconds after
// each step, in slices that let a stop end the wait within 5 ms; counts the
// steps in *steps. Ends once Running is off; the raster stays with the caller.
void PacedAnimationThread(uint32_t delayMicroseconds, std::atomic<uint64_t>* steps);
