// A window that changes shape: the next scene's raster takes its shape.
#include <gtest/gtest.h>

#include "common/state.h"
#include "scene/scene.h"

TEST(Reshape, TheNextSceneTakesTheWindowsNewShape)
{
    std::string error;   // no font: the letter does not matter here
    ASSERT_TRUE(CreateRaster(640, 480, &error)) << error;
    Running.store(true);
    PausePercent.store(0);
    const struct { int32_t Width, Height, Columns; } cases[] = {{320, 480, 100}, {1, 1000, 100}, {1920, 1080, 267}};
    for (const auto& c : cases) {
        ReshapeAtNextScene(c.Width, c.Height);
        NewScene();
        EXPECT_EQ(RasterWidth, c.Columns) << c.Width << " x " << c.Height;
    }
    RequestStop();
    PausePercent.store(100);
    BlockList.clear();
    ReleaseRaster();
}
