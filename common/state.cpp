#include "common/state.h"

#include <algorithm>
#include <chrono>

#include "platform/display.h"

std::atomic<bool> Running{false};
std::atomic<bool> Animating{false};
std::atomic<int64_t> SceneStart{0};
std::atomic<uint64_t> StepCount{0};

int32_t ScreenWidth = 0;
int32_t ScreenHeight = 0;
int ScreenDpi = 96;

static_assert(std::atomic<bool>::is_always_lock_free, "flags must be usable from a signal handler");

int64_t CounterNow()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int64_t CounterFrequency()
{
    return 1000000000;
}

bool Pause(std::chrono::microseconds length)
{
    using namespace std::chrono;
    // Poll rather than wait on a condition variable: a signal handler can
    // clear Running but cannot notify anything.
    // The slices' sum ends a pause where sleeps take no time (headless); the
    // clock ends it elsewhere, so that slices overrunning under load do not
    // add up.
    constexpr microseconds Slice = milliseconds(5);
    const auto deadline = steady_clock::now() + length;
    for (auto left = length; left > microseconds(0) && steady_clock::now() < deadline; left -= Slice) {
        if (!Running.load())
            return false;
        PlatformSleep(std::min(left, Slice).count());
    }
    return Running.load();
}

void RequestStop()
{
    Animating.store(false);
    Running.store(false);
    // Again, after Running: a scene finishing on the animation thread may have
    // set Animating between the first store and Running's, having seen
    // Running still on. Either its store precedes this one, or it comes after
    // Running's store and the scene's own re-test of Running clears it.
    Animating.store(false);
}
