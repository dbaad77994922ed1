// The scene cycle: one random letter, shown in two tones for a second, then
// cut into blocks for the animation thread.
#include "common/random.h"
#include "common/state.h"
#include "scene/scene.h"

uint8_t SceneLetter = 0;

void NewScene()
{
    Animating.store(false);
    ClearRaster();
    Pause(50);

    SceneLetter = uint8_t(0xC0 + Random(32));
    DrawLetter(SceneLetter);
    BlockList.clear();
    MakeTwoTone();
    PresentRaster();
    Pause(1000);

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
