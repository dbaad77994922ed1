// Rounding of reals to the signed 32-bit integers the raster works in.
#pragma once
#include <cmath>
#include <cstdint>

// Nearest integer, ties to even, as a signed 32-bit value. A result that does
// not fit is taken from the 64-bit rounded value's low 32 bits (it wraps), and
// NaN, infinities and values beyond the 64-bit range give 0, the value the
// x87 conversion's "indefinite" result leaves in its low half. Every input has
// a defined result: no undefined conversion is ever made.
inline int32_t Round(double x)
{
    const double r = std::nearbyint(x); // default rounding mode: ties to even
    // 2^63 is exactly representable; anything at or beyond it (or NaN) fails.
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
        return 0;
    const uint64_t bits = static_cast<uint64_t>(static_cast<int64_t>(r));
    return static_cast<int32_t>(static_cast<uint32_t>(bits));
}
