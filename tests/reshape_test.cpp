// A window that changes shape: the next scene's raster takes its shape.
#include "tests/test_util.h"

TEST_F(CoreTest, TheNextSceneTakesTheWindowsNewShape)
{
    const struct { int32_t Width, Height, Columns; } cases[] = {{320, 480, 100}, {1, 1000, 100}, {1920, 1080, 267}};
    for (const auto& c : cases) {
        ReshapeAtNextScene(c.Width, c.Height);
        NewScene();
        EXPECT_EQ(RasterWidth, c.Columns) << c.Width << " x " << c.Height;
    }
}
