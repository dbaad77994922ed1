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
//   - row i's own halves are subtracted from its velocity lane by lane in
//     increasing j.
// A coincident pair (d == 0) is skipped by subtracting +0.0 from both: that
// leaves every value, -0.0 included, unchanged. The skip test is d == 0
// (ordered), so a NaN distance is not skipped, as in the reference.
//
// Cost model: each pair costs one square root and three divisions, all on
// the one divider; vectors of L lanes cost about what one scalar lane does,
// so computing each pair once, L lanes at a time, is the whole gain (a
// bound of about 4x the reference with AVX2). Written straight, each
// vector's sqrt -> div -> div chain and the serial row sums behind it
// filled the out-of-order window (about 2.6x); software-pipelining the
// stages across successive vectors, one row at a time, keeps the divider
// fed (about 3.6x on the 32 letters, AMD EPYC, one core).
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

// One pair exactly as the reference loop computes it, on the arrays.
HWY_INLINE void ScalarPair(const Soa& s, size_t a, size_t b)
{
    const double dx = s.X[a] - s.X[b];
    const double dy = s.Y[a] - s.Y[b];
    const double dist = std::sqrt(dx * dx + dy * dy) * 4.0;
    if (dist == 0.0)
        return;
    const double k = 0.1 / dist;
    const double ax = (k * dx) / dist;
    const double ay = (k * dy) / dist;
    s.VX[a] = s.VX[a] - ax * s.Mass[b];
    s.VY[a] = s.VY[a] - ay * s.Mass[b];
    s.VX[b] = s.VX[b] + ax * s.Mass[a];
    s.VY[b] = s.VY[b] + ay * s.Mass[a];
}

// The arrays as values: vector stores may alias anything, so pointers
// read through a Soa reference would be reloaded after every store.
struct Arrays {
    const double* X;
    const double* Y;
    const double* Mass;
    double* VX;
    double* VY;
};

// The per-vector stages of a row group, split so that a vector's square
// root, its 0.1/d and its last two divisions can be issued in different
// loop iterations (see RowGroup).
template <size_t R, class D>
HWY_INLINE void Distances(D d, const hn::Vec<D>* xr, const hn::Vec<D>* yr, const double* HWY_RESTRICT x,
                          const double* HWY_RESTRICT y, size_t j, hn::Vec<D>* dist)
{
    const auto xj = hn::LoadU(d, x + j), yj = hn::LoadU(d, y + j);
    HWY_UNROLL(4)
    for (size_t r = 0; r < R; ++r) {
        const auto dx = hn::Sub(xr[r], xj);
        const auto dy = hn::Sub(yr[r], yj);
        dist[r] = hn::Mul(hn::Sqrt(hn::Add(hn::Mul(dx, dx), hn::Mul(dy, dy))), hn::Set(d, 4.0));
    }
}

template <size_t R, class D>
HWY_INLINE void Tenths(D d, const hn::Vec<D>* dist, hn::Vec<D>* k)
{
    HWY_UNROLL(4)
    for (size_t r = 0; r < R; ++r)
        k[r] = hn::Div(hn::Set(d, 0.1), dist[r]);
}

// The terms of vector j: the partners' halves go into VX, VY; the rows'
// halves come back in tx, ty. dx and dy are recomputed from the positions
// (same operation, same bits) rather than carried from Distances.
template <size_t R, class D>
HWY_INLINE void Terms(D d, const Arrays& a, const hn::Vec<D>* xr, const hn::Vec<D>* yr, const hn::Vec<D>* negMr,
                      size_t j, const hn::Vec<D>* dist, const hn::Vec<D>* k, hn::Vec<D>* tx, hn::Vec<D>* ty)
{
    const auto xj = hn::LoadU(d, a.X + j), yj = hn::LoadU(d, a.Y + j), mj = hn::LoadU(d, a.Mass + j);
    auto vxj = hn::LoadU(d, a.VX + j), vyj = hn::LoadU(d, a.VY + j);
    HWY_UNROLL(4)
    for (size_t r = 0; r < R; ++r) {
        const auto dx = hn::Sub(xr[r], xj);
        const auto dy = hn::Sub(yr[r], yj);
        // Ordered equality: a NaN distance is not skipped.
        const auto skip = hn::Eq(dist[r], hn::Zero(d));
        const auto ax = hn::Div(hn::Mul(k[r], dx), dist[r]);
        const auto ay = hn::Div(hn::Mul(k[r], dy), dist[r]);
        // v - (ax * -m) is v + ax * m bit for bit (negating an operand of
        // a product only flips its sign; subtracting is adding the
        // negation). Written so, a skipped lane can be +0.0 in both
        // updates: v - (+0.0) leaves every v unchanged, -0.0 included.
        vxj = hn::Sub(vxj, hn::IfThenZeroElse(skip, hn::Mul(ax, negMr[r])));
        vyj = hn::Sub(vyj, hn::IfThenZeroElse(skip, hn::Mul(ay, negMr[r])));
        tx[r] = hn::IfThenZeroElse(skip, hn::Mul(ax, mj));
        ty[r] = hn::IfThenZeroElse(skip, hn::Mul(ay, mj));
    }
    hn::StoreU(vxj, d, a.VX + j);
    hn::StoreU(vyj, d, a.VY + j);
}

// The rows' own terms of one vector, lane by lane; valid < lanes only for
// the rows' last vector, whose other lanes are padding.
template <size_t R, bool Partial, class D>
HWY_INLINE void RowSums(D d, const hn::Vec<D>* tx, const hn::Vec<D>* ty, size_t valid, double* sx, double* sy)
{
    if constexpr (!Partial) {
        (void)valid;
        HWY_UNROLL(4)
        for (size_t r = 0; r < R; ++r) {
            SubtractLanesInOrder(d, tx[r], sx[r]);
            SubtractLanesInOrder(d, ty[r], sy[r]);
        }
    } else {
        double termX[HWY_MAX_BYTES / sizeof(double)];
        double termY[HWY_MAX_BYTES / sizeof(double)];
        for (size_t r = 0; r < R; ++r) {
            hn::StoreU(tx[r], d, termX);
            hn::StoreU(ty[r], d, termY);
            for (size_t l = 0; l < valid; ++l) {
                sx[r] = sx[r] - termX[l];
                sy[r] = sy[r] - termY[l];
            }
        }
    }
}

// Rows i .. i+R-1 together. Working on R rows at once gives the processor
// R independent chains of divisions and of row sums per partner vector, and
// loads and stores each partner's velocity once for R rows.
//
// Order: the pairs inside the group first, as the reference takes them
// (row by row); then for each partner j >= i+R the terms of rows i, i+1, ...
// in that order. So every partner still receives its terms in increasing
// row, and every row its own terms in increasing j.
//
// Software pipeline over the partner vectors: iteration t takes the square
// root of vector t, 0.1/d of vector t-1, the two divisions and partner
// updates of vector t-2 and the row sums of vector t-3. Each stage's inputs
// were made an iteration earlier, so the divider always has independent
// work and the serial row sums never wait on a division in flight. Each
// vector still goes through the same operations; only their issue order
// across vectors changes.
template <size_t R>
HWY_INLINE void RowGroup(const Soa& s, size_t i)
{
    const hn::ScalableTag<double> d;
    using V = hn::Vec<decltype(d)>;
    const size_t lanes = hn::Lanes(d);
    const size_t count = s.Count;

    for (size_t r = 0; r < R; ++r)
        for (size_t q = r + 1; q < R; ++q)
            ScalarPair(s, i + r, i + q);

    V xr[R], yr[R], negMr[R];
    double sx[R], sy[R];
    for (size_t r = 0; r < R; ++r) {
        xr[r] = hn::Set(d, s.X[i + r]);
        yr[r] = hn::Set(d, s.Y[i + r]);
        negMr[r] = hn::Set(d, -s.Mass[i + r]);
        sx[r] = s.VX[i + r];
        sy[r] = s.VY[i + r];
    }
    const Arrays a{s.X, s.Y, s.Mass, s.VX, s.VY};
    const size_t first = i + R;
    const size_t vectors = first < count ? (count - first + lanes - 1) / lanes : 0;
    // The last vector's real lanes.
    const size_t lastValid = vectors ? count - (first + (vectors - 1) * lanes) : 0;

    // distB: vector t-1's distances; distC, kC: vector t-2's; txD, tyD:
    // vector t-3's row terms.
    V distA[R], distB[R], distC[R], kB[R], kC[R], txD[R], tyD[R];
    for (size_t r = 0; r < R; ++r)
        distA[r] = distB[r] = distC[r] = kB[r] = kC[r] = txD[r] = tyD[r] = hn::Zero(d);

    // One iteration with every stage checked against the vector range: the
    // pipeline's filling and draining.
    const auto guarded = [&](size_t t) HWY_ATTR {
        if (t >= 3) {
            if (t - 3 + 1 < vectors)
                RowSums<R, false>(d, txD, tyD, lanes, sx, sy);
            else
                RowSums<R, true>(d, txD, tyD, lastValid, sx, sy);
        }
        if (t >= 2 && t - 2 < vectors)
            Terms<R>(d, a, xr, yr, negMr, first + (t - 2) * lanes, distC, kC, txD, tyD);
        if (t >= 1 && t - 1 < vectors)
            Tenths<R>(d, distB, kB);
        if (t < vectors)
            Distances<R>(d, xr, yr, a.X, a.Y, first + t * lanes, distA);
        for (size_t r = 0; r < R; ++r) {
            distC[r] = distB[r];
            kC[r] = kB[r];
            distB[r] = distA[r];
        }
    };
    if (vectors == 0) {
        // Nothing past the group.
    } else if (vectors < 4) {
        for (size_t t = 0; t < vectors + 3; ++t)
            guarded(t);
    } else {
        for (size_t t = 0; t < 3; ++t)
            guarded(t);
        // Steady state: vectors 3 .. vectors-1 enter; the row sums here
        // are always of whole vectors (t-3 < vectors-1).
        for (size_t t = 3; t < vectors; ++t) {
            RowSums<R, false>(d, txD, tyD, lanes, sx, sy);
            Terms<R>(d, a, xr, yr, negMr, first + (t - 2) * lanes, distC, kC, txD, tyD);
            Tenths<R>(d, distB, kB);
            Distances<R>(d, xr, yr, a.X, a.Y, first + t * lanes, distA);
            HWY_UNROLL(4)
            for (size_t r = 0; r < R; ++r) {
                distC[r] = distB[r];
                kC[r] = kB[r];
                distB[r] = distA[r];
            }
        }
        for (size_t t = vectors; t < vectors + 3; ++t)
            guarded(t);
    }
    for (size_t r = 0; r < R; ++r) {
        s.VX[i + r] = sx[r];
        s.VY[i + r] = sy[r];
    }
}

// Rows per group. The software pipeline supplies the independent divisions;
// with AVX2, two rows' pipeline state no longer fits in the 16 registers
// and spills (1 row measured about 10% faster than 2).
constexpr size_t GroupRows = 1;

void AttractionRows(const Soa& s)
{
    LastTarget.store(HWY_TARGET, std::memory_order_relaxed);
    static_assert(HWY_MAX_BYTES / sizeof(double) <= PadLanes, "padding narrower than a vector");
    const size_t rows = s.Count < 2 ? 0 : s.Count - 1;
    size_t i = 0;
    while (i < rows) {
        // Animating is read before each row, as the reference does; a group
        // only starts once all of its rows have read it on. A stop read
        // before row i+r leaves rows i+r.. untouched, as if it had come
        // while the reference was working on row i+r-1.
        size_t allowed = 0;
        while (allowed < GroupRows && i + allowed < rows && Animating.load(std::memory_order_relaxed))
            ++allowed;
        if (allowed == GroupRows) {
            RowGroup<GroupRows>(s, i);
            i += GroupRows;
            continue;
        }
        for (size_t r = 0; r < allowed; ++r)
            RowGroup<1>(s, i + r);
        i += allowed;
        if (i < rows)
            return;  // stopped
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
