// The attraction step, vectorised, with the reference loop's bits.
//
// Why the bits can match: a velocity never enters a pair's term, so a
// block's result depends only on the order in which its velocity receives
// its terms. In the reference loop block i receives them in increasing
// partner index: first from every row h < i (as partner), then from its own
// row (j > i). Here row i computes its terms for all j > i a vector at a
// time with the reference's operations (no contraction, no reciprocals):
//   - the partners' halves are added to VX[j], VY[j] as vector updates
//     (written as subtracting the term with the row's mass negated, which
//     is the same operation bit for bit), so each partner still receives
//     row i's term after row i-1's;
//   - row i's own halves are stored, then subtracted from its velocity one
//     by one in increasing j.
// A coincident pair (d == 0) is skipped by subtracting +0.0 from both: that
// leaves every value, -0.0 included, unchanged. The skip test is d == 0
// (ordered), so a NaN distance is not skipped, as in the reference.
//
// Cost model: each pair costs one square root and three divisions, all on
// the one divider; vectors of L lanes cost about what one scalar lane does,
// so computing each pair once, L lanes at a time, is the whole gain: at best
// L times the literal loop (less against a build that pairs the loop's last
// two divisions into one two-lane division). The rest of the design keeps
// the divider busy: written straight, each vector's sqrt -> div -> div chain
// and the serial row sums behind it fill the out-of-order window and the
// divider waits; so the stages are software-pipelined across successive
// vectors, and the row's own terms are summed from a scratch array a few
// vectors behind rather than extracted right after each vector's divisions.
// Quotients are not derived from a reciprocal with fused multiply-adds: the
// bits could be kept, but not the divider's speed.
//
// This file is compiled once per instruction set by Highway's foreach_target.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "animation/attraction_simd.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h
#include <hwy/highway.h>

#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "animation/animation.h"
#include "animation/attraction_simd.h"
#include "common/state.h"

#ifndef GLYPHFALL_ATTRACTION_SIMD_SHARED
#define GLYPHFALL_ATTRACTION_SIMD_SHARED
namespace attraction_simd {

// The blocks' fields the step reads and writes, one array each, padded past
// Count so that the last vector of a row may read and write whole vectors.
struct Soa {
    double* X;
    double* Y;
    double* VX;
    double* VY;
    const double* Mass;
    // Room for one row's own terms (Count + PadLanes entries each).
    double* TX;
    double* TY;
    size_t Count;
};

// Entries past Count in every array: a whole vector of the widest target.
// (HWY_MAX_BYTES cannot be used outside the per-target code: it is the
// last compiled target's there.)
constexpr size_t PadLanes = 16;

}  // namespace attraction_simd
#endif

HWY_BEFORE_NAMESPACE();
namespace attraction_simd {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// The arrays as values: vector stores may alias anything, so pointers
// read through a Soa reference would be reloaded after every store.
struct Arrays {
    const double* X;
    const double* Y;
    const double* Mass;
    double* VX;
    double* VY;
    double* TX;
    double* TY;
};

// The per-vector stages of a row, split so that a vector's square
// root, its 0.1/d and its last two divisions can be issued in different
// loop iterations (see Row). xr, yr: the row block's position in every lane.
template <class D>
HWY_INLINE hn::Vec<D> Distance(D d, hn::Vec<D> xr, hn::Vec<D> yr, const double* HWY_RESTRICT x,
                               const double* HWY_RESTRICT y, size_t j)
{
    const auto dx = hn::Sub(xr, hn::LoadU(d, x + j));
    const auto dy = hn::Sub(yr, hn::LoadU(d, y + j));
    return hn::Mul(hn::Sqrt(hn::Add(hn::Mul(dx, dx), hn::Mul(dy, dy))), hn::Set(d, 4.0));
}

template <class D>
HWY_INLINE hn::Vec<D> Tenth(D d, hn::Vec<D> dist)
{
    return hn::Div(hn::Set(d, 0.1), dist);
}

// The terms of vector j: the partners' halves go into VX, VY; the rows'
// halves go to TX, TY at j - first. dx and dy are recomputed from the positions
// (same operation, same bits) rather than carried from Distance.
template <class D>
HWY_INLINE void Terms(D d, const Arrays& a, hn::Vec<D> xr, hn::Vec<D> yr, hn::Vec<D> negMr, size_t j,
                      size_t first, hn::Vec<D> dist, hn::Vec<D> k)
{
    const auto xj = hn::LoadU(d, a.X + j), yj = hn::LoadU(d, a.Y + j), mj = hn::LoadU(d, a.Mass + j);
    const auto dx = hn::Sub(xr, xj);
    const auto dy = hn::Sub(yr, yj);
    // Ordered equality: a NaN distance is not skipped.
    const auto skip = hn::Eq(dist, hn::Zero(d));
    const auto ax = hn::Div(hn::Mul(k, dx), dist);
    const auto ay = hn::Div(hn::Mul(k, dy), dist);
    // v - (ax * -m) is v + ax * m bit for bit (negating an operand of a
    // product only flips its sign; subtracting is adding the negation).
    // Written so, a skipped lane can be +0.0 in both updates: v - (+0.0)
    // leaves every v unchanged, -0.0 included.
    const auto vxj = hn::Sub(hn::LoadU(d, a.VX + j), hn::IfThenZeroElse(skip, hn::Mul(ax, negMr)));
    const auto vyj = hn::Sub(hn::LoadU(d, a.VY + j), hn::IfThenZeroElse(skip, hn::Mul(ay, negMr)));
    hn::StoreU(hn::IfThenZeroElse(skip, hn::Mul(ax, mj)), d, a.TX + (j - first));
    hn::StoreU(hn::IfThenZeroElse(skip, hn::Mul(ay, mj)), d, a.TY + (j - first));
    hn::StoreU(vxj, d, a.VX + j);
    hn::StoreU(vyj, d, a.VY + j);
}

// Row i. The pairs i, j > i are taken a vector of partners at a time.
//
// Software pipeline over the partner vectors: iteration t takes the square
// root of vector t, 0.1/d of vector t-1 and the two divisions and partner
// updates of vector t-2. Each stage's inputs were made an iteration
// earlier, so the divider always has independent work. The row's own
// terms go to a scratch array and are subtracted from its velocity, in
// increasing j, Behind vectors later (the rest after the loop): the serial
// chain of subtractions then reads finished terms and does not hold
// divisions in the out-of-order window. Each vector still goes through the
// same operations; only their issue order across vectors changes.
// How many vectors the row's own sums trail the partner updates: enough for
// the divisions they read to have finished, but not the whole row, or
// nothing would overlap the chain of subtractions.
constexpr size_t Behind = 3;

HWY_INLINE void Row(const Soa& s, size_t i)
{
    const hn::ScalableTag<double> d;
    using V = hn::Vec<decltype(d)>;
    const size_t lanes = hn::Lanes(d);
    const size_t count = s.Count;

    const V xr = hn::Set(d, s.X[i]), yr = hn::Set(d, s.Y[i]), negMr = hn::Set(d, -s.Mass[i]);
    const Arrays a{s.X, s.Y, s.Mass, s.VX, s.VY, s.TX, s.TY};
    const size_t first = i + 1;
    const size_t vectors = first < count ? (count - first + lanes - 1) / lanes : 0;

    // distB: vector t-1's distances; distC, kC: vector t-2's.
    V distB = hn::Zero(d), distC = hn::Zero(d), kC = hn::Zero(d);

    // One iteration with every stage checked against the vector range: the
    // pipeline's filling and draining.
    const auto guarded = [&](size_t t) HWY_ATTR {
        if (t >= 2 && t - 2 < vectors)
            Terms(d, a, xr, yr, negMr, first + (t - 2) * lanes, first, distC, kC);
        kC = t >= 1 && t - 1 < vectors ? Tenth(d, distB) : hn::Zero(d);
        distC = distB;
        distB = t < vectors ? Distance(d, xr, yr, a.X, a.Y, first + t * lanes) : hn::Zero(d);
    };
    double sx = s.VX[i], sy = s.VY[i];
    size_t done = 0;  // row terms already subtracted
    if (vectors < 3) {
        for (size_t t = 0; t < vectors + 2; ++t)
            guarded(t);
    } else {
        for (size_t t = 0; t < 2; ++t)
            guarded(t);
        // Steady state: vectors 2 .. vectors-1 enter.
        for (size_t t = 2; t < vectors; ++t) {
            Terms(d, a, xr, yr, negMr, first + (t - 2) * lanes, first, distC, kC);
            if (t >= 2 + Behind) {
                HWY_UNROLL(8)
                for (size_t l = 0; l < lanes; ++l) {
                    sx = sx - s.TX[done + l];
                    sy = sy - s.TY[done + l];
                }
                done += lanes;
            }
            kC = Tenth(d, distB);
            distC = distB;
            distB = Distance(d, xr, yr, a.X, a.Y, first + t * lanes);
        }
        for (size_t t = vectors; t < vectors + 2; ++t)
            guarded(t);
    }
    const size_t terms = count - first;
    for (size_t n = done; n < terms; ++n) {
        sx = sx - s.TX[n];
        sy = sy - s.TY[n];
    }
    s.VX[i] = sx;
    s.VY[i] = sy;
}

void AttractionRows(const Soa& s)
{
    static_assert(HWY_MAX_BYTES / sizeof(double) <= PadLanes, "padding narrower than a vector");
    const size_t rows = s.Count < 2 ? 0 : s.Count - 1;
    // Animating is read before each row, as the reference does: a stop
    // read before row i leaves rows i.. untouched.
    for (size_t i = 0; i < rows; ++i) {
        if (!Animating.load(std::memory_order_relaxed))
            return;
        Row(s, i);
    }
}

}  // namespace HWY_NAMESPACE
}  // namespace attraction_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace attraction_simd {
HWY_EXPORT(AttractionRows);

// Reused between steps: after the first step of the largest scene nothing
// is allocated.
static struct {
    std::vector<double> X, Y, VX, VY, Mass, TX, TY;
} Scratch;
}  // namespace attraction_simd

void AttractionStepVector(Block* blocks, size_t count)
{
    using namespace attraction_simd;
    // No row: the reference neither tests Animating nor changes anything.
    if (count < 2)
        return;
    const size_t padded = count + PadLanes;
    if (Scratch.X.size() < padded) {
        for (std::vector<double>* v :
             {&Scratch.X, &Scratch.Y, &Scratch.VX, &Scratch.VY, &Scratch.Mass, &Scratch.TX, &Scratch.TY})
            v->resize(padded);
    }
    for (size_t i = 0; i < count; ++i) {
        Scratch.X[i] = blocks[i].X;
        Scratch.Y[i] = blocks[i].Y;
        Scratch.VX[i] = blocks[i].VX;
        Scratch.VY[i] = blocks[i].VY;
        Scratch.Mass[i] = double(blocks[i].Mass);
    }
    // Padding: ordinary finite values, so that its discarded lanes never
    // meet subnormal or NaN slow paths.
    for (size_t i = count; i < padded; ++i)
        Scratch.X[i] = Scratch.Y[i] = Scratch.VX[i] = Scratch.VY[i] = Scratch.Mass[i] = 0.0;
    const Soa soa{Scratch.X.data(),  Scratch.Y.data(),    Scratch.VX.data(),
                  Scratch.VY.data(), Scratch.Mass.data(), Scratch.TX.data(),
                  Scratch.TY.data(), count};
    HWY_DYNAMIC_DISPATCH(AttractionRows)(soa);
    // Every velocity goes back, also after an early return: earlier rows
    // have already updated their partners.
    for (size_t i = 0; i < count; ++i) {
        blocks[i].VX = Scratch.VX[i];
        blocks[i].VY = Scratch.VY[i];
    }
}

std::vector<int64_t> AttractionTargets()
{
    return hwy::SupportedAndGeneratedTargets();
}

const char* AttractionTargetName(int64_t target)
{
    return hwy::TargetName(target);
}

void AttractionStepOn(int64_t target, Block* blocks, size_t count)
{
    hwy::SetSupportedTargetsForTest(target);
    AttractionStepVector(blocks, count);
    hwy::SetSupportedTargetsForTest(0);
}
#endif  // HWY_ONCE
