#include "common/random.h"

#include <chrono>

uint32_t RandSeed = 0;

uint32_t Random(uint32_t n)
{
    RandSeed = RandSeed * 0x08088405u + 1u;
    return static_cast<uint32_t>((static_cast<uint64_t>(RandSeed) * n) >> 32);
}

void Randomize()
{
    using namespace std::chrono;
    // Milliseconds since midnight UTC; system_clock counts UTC without leap
    // seconds, so the remainder of a day is exactly the time of day.
    const int64_t ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    const int64_t ofDay = ms % (24 * 60 * 60 * 1000);
    RandSeed = static_cast<uint32_t>(ofDay);
}
