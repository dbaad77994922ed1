// The program's one pseudo-random generator: letters and block colours both
// come from here, so a seed fixes a whole scene. Nothing else calls rand().
#pragma once
#include <cstdint>

// The generator's state. Tests and glyphfall-render set it directly.
extern uint32_t RandSeed;

// Advances the seed (seed * 0x08088405 + 1, mod 2^32) and returns the upper
// 32 bits of seed * n: a value from 0 to n - 1 (0 when n is 0).
uint32_t Random(uint32_t n);

// Seeds the generator from the time of day: milliseconds since midnight, UTC.
void Randomize();
