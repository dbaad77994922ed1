// The scene cycle: one random letter, shown in two tones for a second, then
// cut into blocks for the animation thread.
#include "common/random.h"
#include "common/state.h"
#include "scene/scene.h"

#include <atomic>
#include <string>

uint8_t SceneLetter = 0;

// Width in the high half, height in the low; 0 when no change is asked for.
static std::atomic<uint64_t> NextShape{0};

void ReshapeAtNextScene(int32_t screenWidth, int32_t screenHeight)
{
    NextShape.store(uint64_t(uint32_t(screenWidth)) << 32 | uint32_t(screenHeight));
}

// Replaces the raster by one of the asked-for shape. Runs where the raster's
// owner builds the scene, so nothing else is using it.
static void ApplyNextShape()
{
    const uint64_t shape = NextShape.exchange(0);
    const int32_t width = int32_t(shape >> 32), height = int32_t(shape & 0xFFFFFFFFu);
    if (shape == 0 || height <= 0 || RasterWidthFor(width, height) <= 0)
        return;
    ScreenWidth = width;
    ScreenHeight = height;
    if (RasterWidthFor(width, height) == RasterWidth)
        return;
    // Memory refused for the new shape: the old raster stays, and so does
    // the picture's shape.
    std::string error;
    CreateRaster(width, height, &error);
}

void NewScene()
{
    Animating.store(false);
    ApplyNextShape();
    ClearRaster();
    Pause(std::chrono::milliseconds(50));

    SceneLetter = uint8_t(0xC0 + Random(32));
    DrawLetter(SceneLetter);
    BlockList.clear();
    MakeTwoTone();
    PresentRaster();
    Pause(std::chrono::milliseconds(1000));

    Decompose(WorkRect);
    SceneStart.store(CounterNow());
    // The stop request wins: once Running is off, the scene never starts. The
    // second test covers a stop that lands between the first and the store;
    // the animation thread's loop also tests Running, so a store that still
    // slips through cannot keep it animating.
    if (Running.load()) {
        Animating.store(true);
        if (!Running.load())
            Animating.store(false);
    }
}
