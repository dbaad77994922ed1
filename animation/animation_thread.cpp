// The animation thread and its step.
#include <algorithm>
#include <chrono>
#include <thread>

#include "animation/animation.h"
#include "common/state.h"

bool SceneExpired(int64_t now, int64_t start, int64_t frequency)
{
    if (frequency <= 0)
        return false;
    // Modular difference: defined however far apart the two values are.
    const int64_t elapsed = int64_t(uint64_t(now) - uint64_t(start));
    if (elapsed <= 0)
        return false;
    // elapsed / frequency > 60 as an exact real: a double quotient could
    // round a tick past 60 s down to 60.0 at high counter frequencies.
    const int64_t seconds = elapsed / frequency;
    return seconds > 60 || (seconds == 60 && elapsed % frequency != 0);
}

void AnimationStep()
{
    if (!BlockList.empty()) {
        AttractionStep(BlockList.data(), BlockList.size());
        PositionUpdate(BlockList.data(), BlockList.size());
    }
    RenderFrame();
    // Skipped once a stop has cleared Animating: a new scene would start
    // animating again after the stop.
    if (!Animating.load())
        return;
    if (SceneExpired(CounterNow(), SceneStart.load(), CounterFrequency()))
        NewScene();
}

void AnimationThread()
{
    // The raster is this thread's only once a scene has been handed over by
    // setting Animating; until then the main thread may still be building
    // the first scene in it, and a stop must not free it under that thread.
    bool owned = false;
    while (Running.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // Running is tested too, so a stop always ends the inner loop even if
        // a scene set Animating again just after it.
        while (Animating.load() && Running.load()) {
            owned = true;
            AnimationStep();
        }
    }
    // Without a hand-over the main thread releases it after joining us.
    if (owned)
        ReleaseRaster();
}

// Sleeps until deadline in slices of at most 5 ms, or until a stop.
static void WaitUntil(std::chrono::steady_clock::time_point deadline)
{
    using namespace std::chrono;
    for (auto now = steady_clock::now(); now < deadline && Running.load(); now = steady_clock::now())
        std::this_thread::sleep_for(std::min<steady_clock::duration>(deadline - now, milliseconds(5)));
}

void PacedAnimationThread(uint32_t delayMicroseconds, std::atomic<uint64_t>* steps)
{
    NewScene();
    while (Running.load()) {
        if (!Animating.load()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        AnimationStep();
        steps->fetch_add(1);
        if (delayMicroseconds > 0)
            WaitUntil(std::chrono::steady_clock::now() + std::chrono::microseconds(delayMicroseconds));
    }
}
