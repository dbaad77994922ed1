// What the core tests share, one helper per purpose.
#pragma once
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "animation/animation.h"
#include "common/random.h"
#include "common/state.h"
#include "platform/headless/headless.h"
#include "scene/scene.h"

constexpr double Nan = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

// A square block of side size + 1 whose top-left corner is (left, top).
inline Block BlockAt(double left, double top, int32_t size, Bgr colour = {}, double vx = 0, double vy = 0)
{
    const double half = size / 2.0, mass = (size + 1.0) * (size + 1.0);
    return Block{size, size, left + half, top + half, vx, vy, uint32_t(mass), half, colour};
}

// Blocks at repeatable places over a 267 x 150 raster, sides 1 to maxSide.
inline std::vector<Block> Scatter(size_t count, uint32_t seed, uint32_t maxSide = 4)
{
    RandSeed = seed;
    std::vector<Block> blocks;
    while (blocks.size() < count)
        blocks.push_back(BlockAt(Random(26700) / 100.0, Random(15000) / 100.0, int32_t(Random(maxSide))));
    return blocks;
}

// Reals by their bits; any NaN matches any NaN (which operand's NaN an addition
// returns is the compiler's choice, in the reference too).
inline bool SameBits(double a, double b) { return !std::memcmp(&a, &b, 8) || (a != a && b != b); }

inline testing::AssertionResult SameBlocks(const std::vector<Block>& got, const std::vector<Block>& want)
{
    if (got.size() != want.size())
        return testing::AssertionFailure() << got.size() << " blocks, expected " << want.size();
    for (size_t i = 0; i < got.size(); ++i) {
        const Block &g = got[i], &w = want[i];
        if (std::memcmp(&g, &w, 8) || !SameBits(g.X, w.X) || !SameBits(g.Y, w.Y) || !SameBits(g.VX, w.VX) ||
            !SameBits(g.VY, w.VY) || g.Mass != w.Mass || !SameBits(g.Half, w.Half) || memcmp(&g.Colour, &w.Colour, 3))
            return testing::AssertionFailure() << "block " << i << " at " << g.X << "," << g.Y << " moving "
                                               << g.VX << "," << g.VY << " differs";
    }
    return testing::AssertionSuccess();
}

// The raster's pixels as packed rows.
inline std::vector<uint8_t> Pixels()
{
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < RasterHeight; ++y)
        out.insert(out.end(), RowTable[y], RowTable[y] + size_t(RasterWidth) * 3);
    return out;
}

// Every pixel of r, all three channels, set to value.
inline void Paint(Rectangle r, uint8_t value)
{
    for (int32_t y = r.Top; y <= r.Bottom; ++y)
        std::memset(RowTable[y] + r.Left * 3, value, size_t(r.Right - r.Left + 1) * 3);
}

// A raster for a screen with the letter font at em pixels; the program
// running, nothing animating or recorded. All undone at the end.
struct CoreTest : testing::Test {
    static void Prepare(int32_t width, int32_t height, int em = 96)
    {
        std::string error;
        const bool ready = CreateRaster(width, height, &error) && SetRasterFont("Times New Roman", em, &error);
        ASSERT_TRUE(ready) << error;
    }
    void SetUp() override { Prepare(1920, 1080), Running.store(true), HeadlessReset(); }
    void TearDown() override { RequestStop(), BlockList.clear(), ReleaseRaster(), HeadlessReset(); }
};
