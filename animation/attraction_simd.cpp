// The attraction step, vectorised, with the reference loop's bits.
//
// Why the bits can match: a velocity never enters a pair's term, so a
// block's result depends only on the order in which its velocity receives
// its terms. In the reference loop block i receives them in increasing
// partner index: first from every row h < i (as partner), then from its own
// row (j > i). Here row i computes its terms for all j > i a vector at a
// time with the reference's operations (no contraction, no reciprocals):
//   - the partners' halves are added to VX[j], VY[j] as vector updates, so
//     each partner still receives row i's term after row i-1's;
//   - row i's own halves are subtracted from its velocity lane by lane in
//     increasing j.
// A coincident pair (d == 0) is skipped by adding -0.0 to the partner and
// subtracting +0.0 from the row: both leave every value, -0.0 included,
// unchanged. The skip test is d == 0 (ordered), so a NaN distance is not
// skipped, as in the reference.
//
// Cost model: each pair costs one square root and three divisions, all on
// the one divider; vectors of L lanes cost about what one scalar lane does,
// so computing each pair once, L lanes at a time, is the whole gain.
//
// This file is compiled once per instruction set by Highway's foreach_target.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "animation/attraction_simd.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h
#include <hwy/highway.h>

#include <atomic>
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
    size_t Count;
};

// Entries past Count in every array: a whole vector of the widest target.
// (HWY_MAX_BYTES cannot be used outside the per-target code: it is the
// last compiled target's there.)
constexpr size_t PadLanes = 16;

// The Highway target of the last step run (tests check the dispatch).
std::atomic<int64_t> LastTarget{0};

}  // namespace attraction_simd
#endif

HWY_BEFORE_NAMESPACE();
namespace attraction_simd {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// s = s - lane 0, then - lane 1, ... : the row's own terms in partner order.
// Halving keeps the lanes in registers (no store and reload).
template <class DT>
HWY_INLINE void SubtractLanesInOrder(DT dt, hn::Vec<DT> t, double& s)
{
#if HWY_TARGET == HWY_SCALAR
    (void)dt;
    s = s - hn::GetLane(t);
#else
    if constexpr (hn::MaxLanes(DT()) == 1) {
        (void)dt;
        s = s - hn::GetLane(t);
    } else {
        const hn::Half<DT> dh;
        SubtractLanesInOrder(dh, hn::LowerHalf(dh, t), s);
        SubtractLanesInOrder(dh, hn::UpperHalf(dh, t), s);
    }
#endif
}

void AttractionRows(const Soa& s)
{
    LastTarget.store(HWY_TARGET, std::memory_order_relaxed);
    const hn::ScalableTag<double> d;
    using V = hn::Vec<decltype(d)>;
    const size_t lanes = hn::Lanes(d);
    const size_t count = s.Count;
    static_assert(HWY_MAX_BYTES / sizeof(double) <= PadLanes, "padding narrower than a vector");
    const V zero = hn::Zero(d), negZero = hn::Set(d, -0.0);
    const V four = hn::Set(d, 4.0), tenth = hn::Set(d, 0.1);
    double* HWY_RESTRICT x = s.X;
    double* HWY_RESTRICT y = s.Y;
    double* HWY_RESTRICT vx = s.VX;
    double* HWY_RESTRICT vy = s.VY;
    const double* HWY_RESTRICT m = s.Mass;

    for (size_t i = 0; i + 1 < count; ++i) {
        if (!Animating.load(std::memory_order_relaxed))
            return;
        const V xi = hn::Set(d, x[i]), yi = hn::Set(d, y[i]), mi = hn::Set(d, m[i]);
        double sx = vx[i], sy = vy[i];
        for (size_t j = i + 1; j < count; j += lanes) {
            const V dx = hn::Sub(xi, hn::LoadU(d, x + j));
            const V dy = hn::Sub(yi, hn::LoadU(d, y + j));
            const V dist = hn::Mul(hn::Sqrt(hn::Add(hn::Mul(dx, dx), hn::Mul(dy, dy))), four);
            const auto skip = hn::Eq(dist, zero);
            const V k = hn::Div(tenth, dist);
            const V ax = hn::Div(hn::Mul(k, dx), dist);
            const V ay = hn::Div(hn::Mul(k, dy), dist);
            hn::StoreU(hn::Add(hn::LoadU(d, vx + j), hn::IfThenElse(skip, negZero, hn::Mul(ax, mi))), d, vx + j);
            hn::StoreU(hn::Add(hn::LoadU(d, vy + j), hn::IfThenElse(skip, negZero, hn::Mul(ay, mi))), d, vy + j);
            const V mj = hn::LoadU(d, m + j);
            const V tx = hn::IfThenElse(skip, zero, hn::Mul(ax, mj));
            const V ty = hn::IfThenElse(skip, zero, hn::Mul(ay, mj));
            if (j + lanes <= count) {
                SubtractLanesInOrder(d, tx, sx);
                SubtractLanesInOrder(d, ty, sy);
            } else {
                // The row's last, partial vector: lanes past Count are padding.
                double termX[HWY_MAX_BYTES / sizeof(double)];
                double termY[HWY_MAX_BYTES / sizeof(double)];
                hn::StoreU(tx, d, termX);
                hn::StoreU(ty, d, termY);
                for (size_t l = 0; l < count - j; ++l) {
                    sx = sx - termX[l];
                    sy = sy - termY[l];
                }
            }
        }
        vx[i] = sx;
        vy[i] = sy;
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
    std::vector<double> X, Y, VX, VY, Mass;
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
        for (std::vector<double>* v : {&Scratch.X, &Scratch.Y, &Scratch.VX, &Scratch.VY, &Scratch.Mass})
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
    const Soa soa{Scratch.X.data(), Scratch.Y.data(), Scratch.VX.data(), Scratch.VY.data(), Scratch.Mass.data(),
                  count};
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

int64_t AttractionLastTarget()
{
    return attraction_simd::LastTarget.load();
}
#endif  // HWY_ONCE
