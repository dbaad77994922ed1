// The fused routes' quotients and roots on every target that has them, on operands whose exact
// result lies within about 2^-54 of a midpoint between doubles, at extreme exponents, and on
// specials: each result is the divider's, and the decision passes it and refuses its neighbours.
#include <memory>

#include "animation/attraction_simd.h"
#include "tests/test_util.h"

using U64 = uint64_t;
constexpr U64 Bit54 = U64(1) << 54;

// b^-1 modulo 2^64, b odd: each Newton step doubles the correct low bits.
static U64 InverseMod(U64 b)
{
    U64 x = b;
    for (int i = 0; i < 6; ++i)
        x *= 2 - b * x;
    return x;
}

// An x with x * x = c modulo 2^54 (c = 1 modulo 8), lifted bit by bit.
static U64 SquareRootMod(U64 c)
{
    U64 x = 1;
    for (int k = 3; k < 54; ++k)
        if ((x * x - c) >> k & 1)
            x += U64(1) << (k - 1);
    return x;
}

struct Operands {
    bool Roots;                // of A; otherwise A / B
    std::vector<double> A, B;
    std::vector<bool> Ordinary, InRange;  // must be proved by itself; its correct result must pass
    void Add(double a, double b, bool ordinary, bool inRange)
    {
        A.push_back(a), B.push_back(b), Ordinary.push_back(ordinary), InRange.push_back(inRange);
    }
};

// A/B = (x + e/B) 2^-54 with odd x in [2^53, 2^54): e/(2B) ulp from the
// midpoint x 2^-54. Then at other exponents.
static Operands Quotients()
{
    Operands q{false, {}, {}, {}, {}};
    for (U64 n = 1; q.A.size() < 200; ++n) {
        const U64 b = (U64(1) << 52) | (n * 0x9E3779B97F4A7C15u >> 12) | 1;
        const int64_t e = n % 2 ? int64_t(n % 7) : -int64_t(n % 5) - 1;
        const U64 x = (U64(-e) * InverseMod(b)) % Bit54;
        if (x >= Bit54 / 2 && (x & 1))
            for (const auto& [ea, eb] : {std::pair{0, 0}, {900, 400}, {-1000, 20}, {-960, 60}, {200, 950}})
                q.Add(std::ldexp(double((__int128(b) * x + e) >> 54), ea), std::ldexp(double(b), eb), false,
                      ea == 0);
    }
    for (int i = 0; i < 64; ++i)
        q.Add((i % 2 ? -1 : 1) * std::ldexp(1 + i * 0.618034, i % 40 - 20),
              std::ldexp(1 + i * 0.414214, i % 30 - 15), true, true);
    const double tiny = std::ldexp(1.0, -535), big = std::ldexp(1.0, 500);
    for (double a : {0.0, -0.0, 5e-324, -1e-310, 0x1p-1022, 0.1, -3.0, 1e300, -1.7e308, Inf, -Inf, Nan})
        for (double b : {tiny, 0.3, 1.0, 1.5, 1e20, big, 1.7e308, Inf, Nan})
            q.Add(a, b, false, false);
    return q;
}

// sqrt((x^2 + c)/4) = x/2 + about c/(4x), x odd in [2^53, 2^54): c/4x ulp
// from the midpoint x/2. Then at other exponents; below powers of four.
static Operands Roots()
{
    Operands r{true, {}, {}, {}, {}};
    for (int64_t c = -121; c < 128; c += 8)
        for (U64 x : {SquareRootMod(U64(-c) % Bit54) + Bit54 / 2, Bit54 - SquareRootMod(U64(-c) % Bit54)}) {
            const U64 s = U64((__int128(x) * x + c) >> 54);
            if (s < Bit54 / 2 || !(s & 1))
                for (int e : {0, -1120, -600, 450, 916})
                    r.Add(std::ldexp(double(s), 52 + e), 0, false, e == 0 && c != -1);  // -1: g succ(g)
        }
    // Just below 4^k the rounded root is the predecessor of 2^k (the test
    // refuses 2^k by the smaller gap below it), and s is exactly g succ(g),
    // where the strict test leaves the rounded g to the divider.
    for (int e : {-1000, -2, 0, 2, 60, 1000})
        r.Add(std::nextafter(std::ldexp(1.0, e), 0.0), 0, false, false);
    for (int i = 0; i < 64; ++i)
        r.Add(std::ldexp(1 + i * 0.618034, i % 60 - 30), 0, true, true);
    for (double s : {0.0, 5e-324, 1e-310, 0x1p-1022, 1e-300, 16.0, 1.7e308, Inf, Nan})
        r.Add(s, 0, false, false);
    return r;
}

TEST(AttractionRounding, FusedQuotientsAndRootsAreTheDividers)
{
    for (const Operands& o : {Quotients(), Roots()}) {
        const size_t n = o.A.size();
        std::vector<double> want(n), candidate(n), got(n);
        for (size_t i = 0; i < n; ++i)
            want[i] = o.Roots ? std::sqrt(o.A[i]) : o.A[i] / o.B[i];
        std::unique_ptr<bool[]> proved(new bool[n]);
        for (int64_t target : AttractionTargets())
            for (int route : AttractionRoutes(target)) {
                if (route == RouteDivider || (o.Roots && route != RouteFused))
                    continue;
                const std::string on = std::string(AttractionTargetName(target)) + " " + AttractionRouteName(route);
                const auto probe = [&](const double* given) {
                    AttractionProbe(target, route, o.A.data(), o.Roots ? nullptr : o.B.data(), given, got.data(),
                                    proved.get(), n);
                };
                probe(nullptr);
                for (size_t i = 0; i < n; ++i) {
                    EXPECT_TRUE(SameBits(got[i], want[i])) << on << " " << o.A[i] << " " << o.B[i] << " -> " << got[i];
                    EXPECT_TRUE(proved[i] || !o.Ordinary[i]) << on << " fell back on " << o.A[i] << " " << o.B[i];
                }
                // The decision alone: the correct result passes, its neighbours never.
                for (double toward : {0.0, -Inf, Inf}) {
                    for (size_t i = 0; i < n; ++i)
                        candidate[i] = toward == 0 ? want[i] : std::nextafter(want[i], toward);
                    probe(candidate.data());
                    for (size_t i = 0; i < n; ++i)
                        EXPECT_TRUE(toward == 0 ? proved[i] || !o.InRange[i] : !proved[i] || want[i] != want[i])
                            << on << " candidate " << candidate[i] << " for " << o.A[i] << " " << o.B[i];
                }
            }
    }
}
