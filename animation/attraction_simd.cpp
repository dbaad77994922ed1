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
// Where the divider is slow (it does not widen with the vector on some
// processors), the multiply-add routes take the root and quotients off it
// (attraction_fused-inl.h): each result is proved correctly rounded, and a
// vector with a lane that is not goes through the divider again. The first
// step times the routes and keeps the fastest (ChooseRoute).
//
// This file is compiled once per instruction set by Highway's foreach_target.

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "animation/attraction_simd.cpp"
#include <hwy/foreach_target.h>  // must come before highway.h
#include <hwy/highway.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "animation/animation.h"
#include "animation/attraction_simd.h"
#include "common/state.h"

// Per target, after foreach_target: the fused routines.
#include "animation/attraction_fused-inl.h"

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

// AttractionProbe's arguments, for one target: B null for roots of A.
struct Probes {
    int Route;
    const double *A, *B, *Candidate;
    double* Result;
    bool* Proved;
    size_t Count;  // a multiple of PadLanes
};

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

// One vector of partners on its way through a row's pipeline (see Row):
// its distances, then 0.1/d. The multiply-add routes add a reciprocal of
// the distances and the lanes proved so far.
template <class D>
struct Slot {
    hn::Vec<D> Dist, Recip, K;
    hn::Mask<D> Proved;
};

template <class D>
HWY_INLINE Slot<D> EmptySlot(D d)
{
    return Slot<D>{hn::Zero(d), hn::Zero(d), hn::Zero(d), hn::FirstN(d, 0)};
}

// The reference's distance, on the divider: sqrt(dx dx + dy dy) * 4.
template <class V>
HWY_INLINE V Squared(V dx, V dy)
{
    return hn::Add(hn::Mul(dx, dx), hn::Mul(dy, dy));
}

template <class D>
HWY_INLINE hn::Vec<D> Distance(D d, hn::Vec<D> dx, hn::Vec<D> dy)
{
    return hn::Mul(hn::Sqrt(Squared(dx, dy)), hn::Set(d, 4.0));
}

// The three stages of a pair vector, split so that they can be issued in
// different loop iterations (see Row). xr, yr: the row block's position in
// every lane. First the distances (and on the fused route the reciprocal).
template <int R, class D>
HWY_INLINE Slot<D> Enter(D d, hn::Vec<D> xr, hn::Vec<D> yr, const double* HWY_RESTRICT x,
                         const double* HWY_RESTRICT y, size_t j)
{
    const auto dx = hn::Sub(xr, hn::LoadU(d, x + j));
    const auto dy = hn::Sub(yr, hn::LoadU(d, y + j));
    Slot<D> slot = EmptySlot(d);
#if GLYPHFALL_FUSED
    if constexpr (R == RouteFused) {
        const auto s = Squared(dx, dy);
        hn::Vec<D> half;
        const auto root = RootCandidate(d, s, &half);
        slot.Proved = RootProved(d, s, root);
        slot.Dist = hn::Mul(root, hn::Set(d, 4.0));
        // 1/(4 root) is half of the half reciprocal.
        slot.Recip = hn::Mul(half, hn::Set(d, 0.5));
        return slot;
    }
#endif
    slot.Dist = Distance(d, dx, dy);
    return slot;
}

// Then 0.1/d.
template <int R, class D>
HWY_INLINE void Tenth(D d, Slot<D>* slot)
{
#if GLYPHFALL_FUSED
    if constexpr (R != RouteDivider) {
        if constexpr (R == RouteHybrid) {
            slot->Recip = hn::Div(hn::Set(d, 1.0), slot->Dist);
            slot->Proved = hn::FirstN(d, hn::Lanes(d));
        }
        const auto tenth = hn::Set(d, 0.1);
        slot->K = QuotientCandidate<D>(tenth, slot->Dist, slot->Recip);
        const auto tiny = hn::Mul(slot->Dist, hn::Set(d, 0x1p-53));
        slot->Proved = hn::And(slot->Proved, QuotientProved(d, tenth, slot->Dist, tiny, slot->K));
        return;
    }
#endif
    slot->K = hn::Div(hn::Set(d, 0.1), slot->Dist);
}

// Then a vector's accelerations (the pair terms before the masses) and its
// distances, which the divider's route gives when a lane is unproved.
template <int R, class D>
HWY_INLINE void Accelerations(D d, hn::Vec<D> dx, hn::Vec<D> dy, const Slot<D>& slot, hn::Vec<D>* dist,
                              hn::Vec<D>* ax, hn::Vec<D>* ay)
{
    *dist = slot.Dist;
#if GLYPHFALL_FUSED
    if constexpr (R != RouteDivider) {
        const auto tiny = hn::Mul(slot.Dist, hn::Set(d, 0x1p-53));
        const auto kx = hn::Mul(slot.K, dx), ky = hn::Mul(slot.K, dy);
        *ax = QuotientCandidate<D>(kx, slot.Dist, slot.Recip);
        *ay = QuotientCandidate<D>(ky, slot.Dist, slot.Recip);
        const auto proved = hn::And(slot.Proved, hn::And(QuotientProved(d, kx, slot.Dist, tiny, *ax),
                                                         QuotientProved(d, ky, slot.Dist, tiny, *ay)));
        if (HWY_LIKELY(hn::AllTrue(d, proved)))
            return;
        // A lane unproved (coincident or far pairs, NaN, a hard case): the
        // whole vector again on the divider.
        *dist = Distance(d, dx, dy);
    }
#endif
    const auto k = R == RouteDivider ? slot.K : hn::Div(hn::Set(d, 0.1), *dist);
    *ax = hn::Div(hn::Mul(k, dx), *dist);
    *ay = hn::Div(hn::Mul(k, dy), *dist);
}

// Last the terms of vector j: the partners' halves go into VX, VY; the
// rows' halves go to TX, TY at j - first. dx and dy are recomputed from the
// positions (same operation, same bits) rather than carried from Enter.
template <int R, class D>
HWY_INLINE void Terms(D d, const Arrays& a, hn::Vec<D> xr, hn::Vec<D> yr, hn::Vec<D> negMr, size_t j,
                      size_t first, const Slot<D>& slot)
{
    const auto xj = hn::LoadU(d, a.X + j), yj = hn::LoadU(d, a.Y + j), mj = hn::LoadU(d, a.Mass + j);
    const auto dx = hn::Sub(xr, xj);
    const auto dy = hn::Sub(yr, yj);
    hn::Vec<D> dist, ax, ay;
    Accelerations<R>(d, dx, dy, slot, &dist, &ax, &ay);
    // Ordered equality: a NaN distance is not skipped.
    const auto skip = hn::Eq(dist, hn::Zero(d));
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
// Software pipeline over the partner vectors: iteration t enters vector t
// (its distances), takes 0.1/d of vector t-1 and the two divisions and
// partner updates of vector t-2. Each stage's inputs were made an iteration
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

template <int R>
HWY_INLINE void Row(const Soa& s, size_t i)
{
    const hn::ScalableTag<double> d;
    const size_t lanes = hn::Lanes(d);
    const size_t count = s.Count;

    const auto xr = hn::Set(d, s.X[i]), yr = hn::Set(d, s.Y[i]), negMr = hn::Set(d, -s.Mass[i]);
    const Arrays a{s.X, s.Y, s.Mass, s.VX, s.VY, s.TX, s.TY};
    const size_t first = i + 1;
    const size_t vectors = first < count ? (count - first + lanes - 1) / lanes : 0;

    // b: vector t-1; c: vector t-2.
    using D = hn::ScalableTag<double>;
    Slot<D> b = EmptySlot(d), c = EmptySlot(d);

    // One iteration with every stage checked against the vector range: the
    // pipeline's filling and draining.
    const auto guarded = [&](size_t t) HWY_ATTR {
        if (t >= 2 && t - 2 < vectors)
            Terms<R>(d, a, xr, yr, negMr, first + (t - 2) * lanes, first, c);
        if (t >= 1 && t - 1 < vectors)
            Tenth<R>(d, &b);
        c = b;
        b = t < vectors ? Enter<R>(d, xr, yr, a.X, a.Y, first + t * lanes) : EmptySlot(d);
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
            Terms<R>(d, a, xr, yr, negMr, first + (t - 2) * lanes, first, c);
            if (t >= 2 + Behind) {
                HWY_UNROLL(8)
                for (size_t l = 0; l < lanes; ++l) {
                    sx = sx - s.TX[done + l];
                    sy = sy - s.TY[done + l];
                }
                done += lanes;
            }
            Tenth<R>(d, &b);
            c = b;
            b = Enter<R>(d, xr, yr, a.X, a.Y, first + t * lanes);
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

template <int R>
void RowsOn(const Soa& s, bool untilStopped)
{
    const size_t rows = s.Count < 2 ? 0 : s.Count - 1;
    // Animating is read before each row, as the reference does: a stop
    // read before row i leaves rows i.. untouched.
    for (size_t i = 0; i < rows; ++i) {
        if (untilStopped && !Animating.load(std::memory_order_relaxed))
            return;
        Row<R>(s, i);
    }
}

// Every row on the given route (the divider's where this target has no
// other); untilStopped: watch Animating as the step does.
void AttractionRows(const Soa& s, int route, bool untilStopped)
{
    static_assert(HWY_MAX_BYTES / sizeof(double) <= PadLanes, "padding narrower than a vector");
#if GLYPHFALL_FUSED
    if (route == RouteFused)
        return RowsOn<RouteFused>(s, untilStopped);
    if (route == RouteHybrid)
        return RowsOn<RouteHybrid>(s, untilStopped);
#else
    (void)route;
#endif
    RowsOn<RouteDivider>(s, untilStopped);
}

// Bench: the arithmetic alone of every pair's accelerations on a route,
// vectors independent of one another (no updates, no sums in order): the
// bound the route's operations set on the step. Returns their sum.
template <int R>
double ArithmeticOn(const Soa& s)
{
    const hn::ScalableTag<double> d;
    const size_t lanes = hn::Lanes(d);
    auto sum = hn::Zero(d);
    using D = hn::ScalableTag<double>;
    for (size_t i = 0; i + 1 < s.Count; ++i) {
        const auto xr = hn::Set(d, s.X[i]), yr = hn::Set(d, s.Y[i]);
        Slot<D> b = EmptySlot(d), c = EmptySlot(d);
        const size_t vectors = (s.Count - i - 1 + lanes - 1) / lanes;
        for (size_t t = 0; t < vectors + 2; ++t) {
            if (t >= 2) {
                const size_t j = i + 1 + (t - 2) * lanes;
                hn::Vec<D> dist, ax, ay;
                const auto dx = hn::Sub(xr, hn::LoadU(d, s.X + j)), dy = hn::Sub(yr, hn::LoadU(d, s.Y + j));
                Accelerations<R>(d, dx, dy, c, &dist, &ax, &ay);
                sum = hn::Add(sum, hn::Add(ax, ay));
            }
            if (t >= 1 && t - 1 < vectors)
                Tenth<R>(d, &b);
            c = b;
            if (t < vectors)
                b = Enter<R>(d, xr, yr, s.X, s.Y, i + 1 + t * lanes);
        }
    }
    return hn::GetLane(hn::SumOfLanes(d, sum));
}

double Arithmetic(const Soa& s, int route)
{
#if GLYPHFALL_FUSED
    if (route == RouteFused)
        return ArithmeticOn<RouteFused>(s);
    if (route == RouteHybrid)
        return ArithmeticOn<RouteHybrid>(s);
#else
    (void)route;
#endif
    return ArithmeticOn<RouteDivider>(s);
}

bool HasFusedRoutes()
{
    return GLYPHFALL_FUSED;
}

// Tests: the fused routines lane by lane (see attraction_simd.h).
void Probe(const Probes& p)
{
#if GLYPHFALL_FUSED
    using D = hn::ScalableTag<double>;
    const D d;
    const size_t lanes = hn::Lanes(d);
    HWY_ALIGN double proved[HWY_MAX_BYTES / sizeof(double)];
    for (size_t i = 0; i + lanes <= p.Count; i += lanes) {
        hn::Vec<D> result, fallback, half;
        hn::Mask<D> ok;
        if (p.B) {  // quotients
            const auto a = hn::LoadU(d, p.A + i), b = hn::LoadU(d, p.B + i);
            auto recip = hn::Div(hn::Set(d, 1.0), b);
            if (p.Route == RouteFused) {  // as that route makes it: from the root of (b/4)^2
                const auto quarter = hn::Mul(b, hn::Set(d, 0.25));
                RootCandidate(d, hn::Mul(quarter, quarter), &half);
                recip = hn::Mul(half, hn::Set(d, 0.5));
            }
            result = p.Candidate ? hn::LoadU(d, p.Candidate + i) : QuotientCandidate<D>(a, b, recip);
            ok = QuotientProved(d, a, b, hn::Mul(b, hn::Set(d, 0x1p-53)), result);
            fallback = hn::Div(a, b);
        } else {  // roots
            const auto s = hn::LoadU(d, p.A + i);
            result = p.Candidate ? hn::LoadU(d, p.Candidate + i) : RootCandidate(d, s, &half);
            ok = RootProved(d, s, result);
            fallback = hn::Sqrt(s);
        }
        hn::StoreU(hn::IfThenElse(ok, result, fallback), d, p.Result + i);
        hn::Store(hn::IfThenElseZero(ok, hn::Set(d, 1.0)), d, proved);
        for (size_t l = 0; l < lanes; ++l)
            p.Proved[i + l] = proved[l] != 0;
    }
#else
    (void)p;
#endif
}

}  // namespace HWY_NAMESPACE
}  // namespace attraction_simd
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace attraction_simd {
HWY_EXPORT(AttractionRows);
HWY_EXPORT(HasFusedRoutes);
HWY_EXPORT(Probe);
HWY_EXPORT(Arithmetic);

// Reused between steps: after the first step of the largest scene nothing
// is allocated.
static struct {
    std::vector<double> X, Y, VX, VY, Mass, TX, TY;
} Scratch;

// The route of this machine's steps, -1 until the first step chooses it.
static std::atomic<int> ChosenRoute{-1};
static std::atomic<double> ChoiceSeconds{0.0};

// The blocks' fields into Scratch, and its view of them.
static Soa Load(const Block* blocks, size_t count)
{
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
    return Soa{Scratch.X.data(),    Scratch.Y.data(),  Scratch.VX.data(), Scratch.VY.data(),
               Scratch.Mass.data(), Scratch.TX.data(), Scratch.TY.data(), count};
}

static void StepOn(int route, Block* blocks, size_t count)
{
    // No row: the reference neither tests Animating nor changes anything.
    if (count < 2)
        return;
    HWY_DYNAMIC_DISPATCH(AttractionRows)(Load(blocks, count), route, true);
    // Every velocity goes back, also after an early return: earlier rows
    // have already updated their partners.
    for (size_t i = 0; i < count; ++i) {
        blocks[i].VX = Scratch.VX[i];
        blocks[i].VY = Scratch.VY[i];
    }
}

// Times every route this processor has on a made-up scene (160 blocks
// strewn over 400 pixels, about 13,000 pairs), eight rounds taken in turn,
// and keeps the fastest by its best round; the divider's unless another is
// 2% faster, as timing noise should not move the choice off the route the
// processor was built for. Well under a millisecond, once per process.
static int ChooseRoute()
{
    if (!HWY_DYNAMIC_DISPATCH(HasFusedRoutes)())
        return RouteDivider;
    const auto start = std::chrono::steady_clock::now();
    std::vector<Block> blocks(160);
    uint32_t state = 2463534242u;  // xorshift: the program's random sequence is left alone
    const auto next = [&state](uint32_t n) {
        state ^= state << 13, state ^= state >> 17, state ^= state << 5;
        return double(state % n);
    };
    for (Block& b : blocks)
        b.X = next(40000) / 100.0, b.Y = next(40000) / 100.0, b.Mass = uint32_t(1 + next(25));
    const Soa soa = Load(blocks.data(), blocks.size());
    double best[RouteCount];
    for (double& b : best)
        b = 1e30;
    for (int round = 0; round < 8; ++round)
        for (int route = 0; route < RouteCount; ++route) {
            const auto t0 = std::chrono::steady_clock::now();
            HWY_DYNAMIC_DISPATCH(AttractionRows)(soa, route, false);
            best[route] = std::min(best[route], std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
    int chosen = RouteDivider;
    for (int route = 0; route < RouteCount; ++route)
        if (best[route] < best[chosen] && best[route] < 0.98 * best[RouteDivider])
            chosen = route;
    ChoiceSeconds.store(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return chosen;
}
}  // namespace attraction_simd

int AttractionChosenRoute()
{
    using namespace attraction_simd;
    if (ChosenRoute.load(std::memory_order_relaxed) < 0)
        ChosenRoute.store(ChooseRoute(), std::memory_order_relaxed);
    return ChosenRoute.load(std::memory_order_relaxed);
}

double AttractionChoiceSeconds()
{
    return attraction_simd::ChoiceSeconds.load();
}

void AttractionStepVector(Block* blocks, size_t count)
{
    if (count >= 2)
        attraction_simd::StepOn(AttractionChosenRoute(), blocks, count);
}

const char* AttractionRouteName(int route)
{
    return route == RouteFused ? "fused" : route == RouteHybrid ? "hybrid" : "divider";
}

std::vector<int64_t> AttractionTargets()
{
    return hwy::SupportedAndGeneratedTargets();
}

const char* AttractionTargetName(int64_t target)
{
    return hwy::TargetName(target);
}

std::vector<int> AttractionRoutes(int64_t target)
{
    hwy::SetSupportedTargetsForTest(target);
    const bool fused = HWY_DYNAMIC_DISPATCH(attraction_simd::HasFusedRoutes)();
    hwy::SetSupportedTargetsForTest(0);
    return fused ? std::vector<int>{RouteDivider, RouteFused, RouteHybrid} : std::vector<int>{RouteDivider};
}

void AttractionStepOn(int64_t target, int route, Block* blocks, size_t count)
{
    hwy::SetSupportedTargetsForTest(target);
    attraction_simd::StepOn(route, blocks, count);
    hwy::SetSupportedTargetsForTest(0);
}

double AttractionArithmeticOn(int64_t target, int route, const Block* blocks, size_t count)
{
    hwy::SetSupportedTargetsForTest(target);
    const double sum = HWY_DYNAMIC_DISPATCH(attraction_simd::Arithmetic)(attraction_simd::Load(blocks, count), route);
    hwy::SetSupportedTargetsForTest(0);
    return sum;
}

void AttractionProbe(int64_t target, int route, const double* a, const double* b, const double* candidate,
                     double* result, bool* proved, size_t count)
{
    using namespace attraction_simd;
    // Whole vectors of the widest target, the rest ones.
    const size_t padded = (count + PadLanes - 1) / PadLanes * PadLanes;
    std::vector<double> in[3] = {std::vector<double>(padded, 1.0), std::vector<double>(padded, 1.0),
                                 std::vector<double>(padded, 1.0)};
    std::vector<double> out(padded);
    std::unique_ptr<bool[]> ok(new bool[padded]);
    const double* given[3] = {a, b, candidate};
    for (int n = 0; n < 3; ++n)
        if (given[n])
            std::copy(given[n], given[n] + count, in[n].begin());
    hwy::SetSupportedTargetsForTest(target);
    HWY_DYNAMIC_DISPATCH(Probe)(Probes{route, in[0].data(), b ? in[1].data() : nullptr,
                                       candidate ? in[2].data() : nullptr, out.data(), ok.get(), padded});
    hwy::SetSupportedTargetsForTest(0);
    std::copy(out.begin(), out.begin() + count, result);
    std::copy(ok.get(), ok.get() + count, proved);
}
#endif  // HWY_ONCE
