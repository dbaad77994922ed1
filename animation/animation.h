// The animation: blocks pulling on one another, one frame per step, and the
// thread that loops over it while a scene is animating.
#pragma once
#include <chrono>
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

// The motion of one step without the scene clock: attraction and position
// update (when there are blocks), then a frame.
void MoveAndRender();

// One animation step: MoveAndRender, then the scene clock, which starts a
// new scene once more than 60 seconds have passed since SceneStart.
void AnimationStep();

// The animation thread. It idles in 10 ms sleeps while Animating is off and
// steps while it is on, pausing delay after each step (none: back to back);
// it counts the steps in StepCount. With buildsFirstScene it builds the first
// scene itself (the main thread serves the window meanwhile); otherwise the
// main thread builds it and hands it over. Once Running is off it ends,
// releasing the raster if it ever held it (otherwise its builder still does).
void AnimationThread(bool buildsFirstScene, std::chrono::microseconds delay);
