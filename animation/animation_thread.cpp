// The animation thread and its step.
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

void MoveAndRender()
{
    if (!BlockList.empty()) {
        AttractionStep(BlockList.data(), BlockList.size());
        PositionUpdate(BlockList.data(), BlockList.size());
    }
    RenderFrame();
}

void AnimationStep()
{
    MoveAndRender();
    // Skipped once a stop has cleared Animating: a new scene would start
    // animating again after the stop.
    if (!Animating.load())
        return;
    if (SceneExpired(CounterNow(), SceneStart.load(), CounterFrequency()))
        NewScene();
}

void AnimationThread(bool buildsFirstScene, std::chrono::microseconds delay)
{
    // The raster is this thread's once it has built a scene or been handed
    // one by Animating; until then the main thread may still be building the
    // first scene in it, and a stop must not free it under that thread.
    bool owned = buildsFirstScene;
    if (buildsFirstScene)
        NewScene();
    while (Running.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // Running is tested too, so a stop always ends the inner loop even if
        // a scene set Animating again just after it.
        while (Animating.load() && Running.load()) {
            owned = true;
            AnimationStep();
            StepCount.fetch_add(1);
            if (delay > std::chrono::microseconds(0))
                Pause(delay);
        }
    }
    // Without a hand-over the main thread releases it after joining us.
    if (owned)
        ReleaseRaster();
}
