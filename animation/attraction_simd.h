// The vectorised attraction step, its routes and its instruction-set
// dispatch. The step itself is AttractionStep (animation.h); this header lets
// tests and benchmarks pick the instruction set and route it runs on.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "scene/scene.h"

// How a pair's root and quotients are worked out; all give the same bits.
// Divider: the processor's square root and divisions. Fused: fused
// multiply-adds alone. Hybrid: the root and one reciprocal on the divider,
// the three quotients from fused multiply-adds.
enum AttractionRoute : int { RouteDivider, RouteFused, RouteHybrid, RouteCount };

// The step on the widest instruction set this processor runs and the
// fastest route there: the same bits as AttractionStepReference on every
// input, including the early return when Animating goes off before a row.
// Animation thread only: it reuses scratch arrays that grow to the largest
// block count seen, and its first call chooses the route.
void AttractionStepVector(Block* blocks, size_t count);

// The route AttractionStepVector takes, chosen (if not yet) by timing every
// route; what choosing took, 0 where there was nothing to choose.
int AttractionChosenRoute();
double AttractionChoiceSeconds();
const char* AttractionRouteName(int route);

// The instruction sets compiled in that this processor runs, widest first,
// as Highway target bits; the last is the portable baseline.
std::vector<int64_t> AttractionTargets();

// A short name for one of them ("AVX2", "SSE4", "EMU128"...).
const char* AttractionTargetName(int64_t target);

// The routes one of them has: the divider's always, the others with fused
// multiply-add.
std::vector<int> AttractionRoutes(int64_t target);

// AttractionStepVector on the given target and route. It pins the
// process-wide dispatch choice for the length of the call, so no other
// thread may run a dispatched step meanwhile (tests and benchmarks only).
void AttractionStepOn(int64_t target, int route, Block* blocks, size_t count);

// Benchmarks: the arithmetic alone of every pair's accelerations on a target
// and route, vectors independent of one another; returns their sum.
double AttractionArithmeticOn(int64_t target, int route, const Block* blocks, size_t count);

// Tests: the fused routines of a route on a target, lane by lane:
// result[i] = a[i] / b[i] (b[i] > 0), or sqrt(a[i]) when b is null, and
// whether the lane was proved correctly rounded (otherwise the result is
// the divider's, as in the step). With a candidate, candidate[i] is tested
// instead of the route's own. Proves nothing on targets without the route.
void AttractionProbe(int64_t target, int route, const double* a, const double* b, const double* candidate,
                     double* result, bool* proved, size_t count);
