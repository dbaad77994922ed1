// The vectorised attraction step and its instruction-set dispatch. The step
// itself is AttractionStep (animation.h); this header lets tests and
// benchmarks pick the instruction set it runs on.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/scene.h"

// The step on the widest instruction set this processor runs: the same bits
// as AttractionStepReference on every input, including the early return when
// Animating goes off before a row. Animation thread only: it reuses scratch
// arrays that grow to the largest block count seen.
void AttractionStepVector(Block* blocks, size_t count);

// The instruction sets compiled in that this processor runs, widest first,
// as Highway target bits; the last is the portable baseline.
std::vector<int64_t> AttractionTargets();

// A short name for one of them ("AVX2", "SSE4", "EMU128"...).
const char* AttractionTargetName(int64_t target);

// AttractionStepVector on the given target from AttractionTargets(). It pins
// the process-wide dispatch choice for the length of the call, so no other
// thread may run a dispatched step meanwhile (tests and benchmarks only).
void AttractionStepOn(int64_t target, Block* blocks, size_t count);
