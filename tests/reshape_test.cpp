// A window that changes shape: the next scene's raster takes its shape.
#include <gtest/gtest.h>

#include "common/state.h"
#include "platform/headless/headless.h"
#include "scene/scene.h"

TEST(Reshape, TheNextSceneTakesTheWindowsNewShape)
{
    std::string error;
    ASSERT_TRUE(CreateRaster(640, 480, &error) && SetRasterFont("Times New Roman", 96, &error)) << error;
    Running.store(true);
    PausePercent.store(0);
    const struct { int32_t Width, Height, Columns; } cases[] = {{320, 480, 100}, {1, 1000, 100}, {1920, 1080, 267}};
    for (const auto& c : cases) {
        const int32_t before = RasterWidth;
        ReshapeAtNextScene(c.Width, c.Height);
        EXPECT_EQ(RasterWidth, before) << "reshaped before the next scene";
        NewScene();
        EXPECT_EQ(RasterWidth, c.Columns) << c.Width << " x " << c.Height;
        EXPECT_EQ(Headless.FrameWidth, c.Columns) << "the letter was shown at another width";
    }
    RequestStop();
    PausePercent.store(100);
    BlockList.clear();
    ReleaseRaster();
    PlatformCloseFont();
}
