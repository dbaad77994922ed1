// Square roots and quotients from fused multiply-adds, each one either proved
// to be the correctly rounded IEEE result or flagged for the divider.
//
// A candidate comes from a hardware estimate and Newton steps; then an exact
// test decides. Rounding to nearest is monotonic, so RN(x) < RN(y) implies
// x < y: each test below compares the rounded remainder with one rounding
// of an exact bound, and passes only if the exact remainder is below it.
// Nothing else is assumed: not the remainder's exactness, nor the range of
// the operands, nor the quality of the estimate. NaN, infinities, wrong
// signs and overflowing estimates fail. The tests are strict, so a tie
// fails too; ties only occur among subnormal quotients (no normal quotient
// of doubles and no root of a double is a midpoint between doubles).
//
// Quotient q of a / b (b > 0, b * 2^-53 exact, as for distances, which are
// at least 2^-535 when not zero):
//     |fma(b, q, -a)| < b * 2^-53 * E(q)
// E(q): the power of two of q's binade, 2^-1022 for zero and subnormal q.
// Passing means |a/b - q| < 2^-53 E(q), half the gap above q: q is the
// rounded quotient. The gap below a power of two is half as wide, but a
// quotient never lies in 2^e (1 - 2^-53 .. 1 - 2^-54): A/B = 1 - x with
// integers A, B < 2^53 gives x > 2^-53, and near 2 the numerator would need
// 54 bits. A zero q passes only for |a/b| < 2^-1075, which rounds to a zero
// of a's sign, which the candidate keeps (see QuotientCandidate).
//
// Root g of s >= 0, u = 2^-52 E'(g), E' as E but the binade below for a
// power of two (where roots do fall in the narrow zone, just below 4^k):
//     |fma(-g, g, s)| < g * u
// s - g^2 is then a multiple of u^2, so |s - g^2| <= g u - u^2 and s lies
// strictly between (g - u/2)^2 and (g + u/2)^2: g is the rounded root. The
// bound is one rounding of an exact product for g >= 2^-969 and zero below.
//
// Included by attraction_simd.cpp once per instruction set; only targets
// with fused multiply-add compile it (GLYPHFALL_FUSED).

#if defined(GLYPHFALL_ATTRACTION_FUSED_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef GLYPHFALL_ATTRACTION_FUSED_INL_H_
#undef GLYPHFALL_ATTRACTION_FUSED_INL_H_
#else
#define GLYPHFALL_ATTRACTION_FUSED_INL_H_
#endif

#include <hwy/highway.h>

#undef GLYPHFALL_FUSED
#if HWY_ARCH_X86 && HWY_TARGET <= HWY_AVX2 && !defined(HWY_DISABLE_BMI2_FMA)
#define GLYPHFALL_FUSED 1
#else
#define GLYPHFALL_FUSED 0
#endif

HWY_BEFORE_NAMESPACE();
namespace attraction_simd {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

#if GLYPHFALL_FUSED

// The exponent bits alone.
template <class D>
HWY_INLINE hn::Vec<D> Exponent(D d, hn::Vec<D> v)
{
    const hn::RebindToUnsigned<D> du;
    return hn::And(v, hn::BitCast(d, hn::Set(du, 0x7FF0000000000000ull)));
}

// About 12 bits of 1/sqrt(s) (AVX2: through single precision, so s outside
// its range gives zero or infinity, which the root's test rejects); 14 bits
// with AVX-512.
template <class D>
HWY_INLINE hn::Vec<D> RootEstimate(D, hn::Vec<D> s)
{
#if HWY_TARGET <= HWY_AVX3
    return hn::Vec<D>{_mm512_rsqrt14_pd(s.raw)};
#else
    return hn::Vec<D>{_mm256_cvtps_pd(_mm_rsqrt_ps(_mm256_cvtpd_ps(s.raw)))};
#endif
}

// A candidate for sqrt(s), almost always the rounded one; *half gets about
// 44 bits of 1/(2 sqrt(s)). Two coupled Newton steps on the root and its
// half reciprocal, then one on the root alone.
template <class D>
HWY_INLINE hn::Vec<D> RootCandidate(D d, hn::Vec<D> s, hn::Vec<D>* half)
{
    const auto y = RootEstimate(d, s);
    auto g = hn::Mul(s, y), h = hn::Mul(y, hn::Set(d, 0.5));
    for (int step = 0; step < 2; ++step) {
        const auto e = hn::NegMulAdd(g, h, hn::Set(d, 0.5));
        g = hn::MulAdd(g, e, g);
        h = hn::MulAdd(h, e, h);
    }
    *half = h;
    return hn::MulAdd(hn::NegMulAdd(g, g, s), h, g);
}

// The lanes where g is proved to be the rounded sqrt(s). g (1 - 2^-53) is
// g's predecessor when g is a power of two and stays in g's binade
// otherwise, so its exponent is E'(g).
template <class D>
HWY_INLINE hn::Mask<D> RootProved(D d, hn::Vec<D> s, hn::Vec<D> g)
{
    const auto u = Exponent(d, hn::Mul(g, hn::Set(d, 0x1p-52 * (1 - 0x1p-53))));
    return hn::Lt(hn::Abs(hn::NegMulAdd(g, g, s)), hn::Mul(g, u));
}

// A candidate for a / b from y near 1/b (44 bits do: the error after the
// correction is about the product of y's and a y's), almost always the
// rounded one: a y corrected once by the remainder. The remainder is taken negated,
// b q0 - a, so that a zero a keeps its sign: it is then +0 and q0 - (+0) is
// q0, -0 included.
template <class D>
HWY_INLINE hn::Vec<D> QuotientCandidate(hn::Vec<D> a, hn::Vec<D> b, hn::Vec<D> y)
{
    const auto q0 = hn::Mul(a, y);
    return hn::NegMulAdd(hn::MulSub(b, q0, a), y, q0);
}

// The lanes where q is proved to be the rounded a / b; tiny is b * 2^-53.
template <class D>
HWY_INLINE hn::Mask<D> QuotientProved(D d, hn::Vec<D> a, hn::Vec<D> b, hn::Vec<D> tiny, hn::Vec<D> q)
{
    const auto e = hn::Max(Exponent(d, q), hn::Set(d, 0x1p-1022));
    return hn::Lt(hn::Abs(hn::MulSub(b, q, a)), hn::Mul(tiny, e));
}

#endif  // GLYPHFALL_FUSED

}  // namespace HWY_NAMESPACE
}  // namespace attraction_simd
HWY_AFTER_NAMESPACE();

#endif  // include guard toggle
