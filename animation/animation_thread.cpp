// The animation thread and its step.
#include <chrono>
#include <thread>

#include "animation/animation.h"
#include "common/state.h"

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
    const double seconds = double(CounterNow() - SceneStart.load()) / double(CounterFrequency());
    if (seconds > 60.0)
        NewScene();
}

void AnimationThread()
{
    while (Running.load()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        // Running is tested too, so a stop always ends the inner loop even if
        // a scene set Animating again just after it.
        while (Animating.load() && Running.load())
            AnimationStep();
    }
    ReleaseRaster();
}
