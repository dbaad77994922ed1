// The attraction step and the position update: worked examples, the guard
// for coincident centres, the stop between rows, and the program's step
// against the reference loop, bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "animation/animation.h"
#include "common/random.h"
#include "common/state.h"
#include "scene/scene.h"

namespace {

using StepFunction = void (*)(Block*, size_t);

struct Implementation {
    const char* Name;
    StepFunction Step;
};

// Every behaviour below must hold for the loop that defines the results and
// for the step the program runs.
const Implementation Implementations[] = {
    {"AttractionStepReference", AttractionStepReference},
    {"AttractionStep", AttractionStep},
};

Block BlockAt(double x, double y, int32_t size, double vx = 0.0, double vy = 0.0)
{
    Block b{};
    b.SizeX = b.SizeY = size;
    b.Half = double(size) / 2.0;
    b.X = x;
    b.Y = y;
    b.VX = vx;
    b.VY = vy;
    b.Mass = uint32_t(size + 1) * uint32_t(size + 1);
    return b;
}

std::string Describe(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g [%016llx]", v, static_cast<unsigned long long>(std::bit_cast<uint64_t>(v)));
    return text;
}

// Compares the four reals of every block by their bits; reports the first
// few differences with both values. Returns the number of differing blocks.
int CompareBits(const std::vector<Block>& got, const std::vector<Block>& want, const std::string& what)
{
    if (got.size() != want.size()) {
        ADD_FAILURE() << what << ": " << got.size() << " blocks, expected " << want.size();
        return 1;
    }
    int differing = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const double g[4] = {got[i].X, got[i].Y, got[i].VX, got[i].VY};
        const double w[4] = {want[i].X, want[i].Y, want[i].VX, want[i].VY};
        if (std::memcmp(g, w, sizeof g) == 0)
            continue;
        if (++differing <= 4) {
            static const char* const names[4] = {"X", "Y", "VX", "VY"};
            for (int f = 0; f < 4; ++f)
                if (std::bit_cast<uint64_t>(g[f]) != std::bit_cast<uint64_t>(w[f]))
                    ADD_FAILURE() << what << ": block " << i << " " << names[f] << " got " << Describe(g[f])
                                  << " expected " << Describe(w[f]);
        }
    }
    return differing;
}

// Compares with values worked out in exact arithmetic: the doubles may be off
// by their rounding, nothing more.
void ExpectNearExact(const Block& got, double x, double y, double vx, double vy, const std::string& what)
{
    const double g[4] = {got.X, got.Y, got.VX, got.VY};
    const double w[4] = {x, y, vx, vy};
    static const char* const names[4] = {"X", "Y", "VX", "VY"};
    for (int f = 0; f < 4; ++f)
        EXPECT_NEAR(g[f], w[f], 1e-14 * std::max(1.0, std::fabs(w[f])))
            << what << " " << names[f] << ": got " << Describe(g[f]) << " expected " << w[f];
}

void StepOnce(StepFunction step, std::vector<Block>& blocks)
{
    step(blocks.data(), blocks.size());
    PositionUpdate(blocks.data(), blocks.size());
}

// Blocks at repeatable pseudo-random places over the raster, sizes 0..3.
std::vector<Block> Scatter(size_t count, uint32_t seed)
{
    std::vector<Block> blocks;
    uint32_t s = seed;
    auto next = [&s](uint32_t n) {
        s = s * 1664525u + 1013904223u;
        return uint32_t((uint64_t(s) * n) >> 32);
    };
    for (size_t i = 0; i < count; ++i)
        blocks.push_back(BlockAt(next(26700) / 100.0, next(15000) / 100.0, int32_t(next(4))));
    return blocks;
}

class AttractionTest : public testing::Test {
protected:
    void SetUp() override
    {
        running = Running.load();
        animating = Animating.load();
        // The step runs only while the scene is animating.
        Animating.store(true);
    }
    void TearDown() override
    {
        Running.store(running);
        Animating.store(animating);
    }
    bool running = false, animating = false;
};

} // namespace

TEST_F(AttractionTest, ASingleBlockKeepsItsCourse)
{
    for (const Implementation& impl : Implementations) {
        std::vector<Block> still = {BlockAt(10.25, 20.75, 3)};
        for (int i = 0; i < 10; ++i)
            StepOnce(impl.Step, still);
        CompareBits(still, {BlockAt(10.25, 20.75, 3)}, std::string(impl.Name) + ", at rest");

        std::vector<Block> moving = {BlockAt(10.0, 20.0, 0, 0.5, -0.25)};
        for (int i = 0; i < 4; ++i)
            StepOnce(impl.Step, moving);
        CompareBits(moving, {BlockAt(12.0, 19.0, 0, 0.5, -0.25)}, std::string(impl.Name) + ", moving");
    }
}

TEST_F(AttractionTest, TwoEqualMassesAtRestPullTogether)
{
    const struct { double ax, ay, bx, by; int32_t size; } pairs[] = {
        {10, 20, 13, 24, 1}, {100.5, 7.25, 3.125, 140, 5}, {50, 50, 50, 51, 0}, {0, 75, 266, 75, 9},
    };
    for (const Implementation& impl : Implementations)
        for (const auto& p : pairs) {
            const std::string what = std::string(impl.Name) + " pulling (" + std::to_string(p.ax) + ", " +
                                     std::to_string(p.ay) + ") and (" + std::to_string(p.bx) + ", " +
                                     std::to_string(p.by) + ")";
            std::vector<Block> blocks = {BlockAt(p.ax, p.ay, p.size), BlockAt(p.bx, p.by, p.size)};
            StepOnce(impl.Step, blocks);
            const Block &a = blocks[0], &b = blocks[1];
            // Equal and opposite, to the bit.
            EXPECT_TRUE(a.VX == -b.VX) << what << ": VX " << Describe(a.VX) << " and " << Describe(b.VX);
            EXPECT_TRUE(a.VY == -b.VY) << what << ": VY " << Describe(a.VY) << " and " << Describe(b.VY);
            // Along the line from a to b, towards b.
            const double dx = p.bx - p.ax, dy = p.by - p.ay;
            const double along = a.VX * dx + a.VY * dy, across = a.VX * dy - a.VY * dx;
            EXPECT_GT(along, 0.0) << what;
            EXPECT_LE(std::fabs(across), 1e-12 * std::fabs(along)) << what;
            // The strength: 0.1 * mass / (16 * distance) per step.
            const double distance = std::hypot(dx, dy), mass = double(a.Mass);
            EXPECT_NEAR(std::hypot(a.VX, a.VY), 0.1 * mass / (16.0 * distance), 1e-15) << what;
            // Moved by the new velocity, so closer.
            EXPECT_LT(std::hypot(b.X - a.X, b.Y - a.Y), distance) << what;
        }
}

TEST_F(AttractionTest, ThreeBlocksByHand)
{
    // A = (0, 0), mass 1, at rest; B = (3, 4), mass 4, velocity (0.5, -0.25);
    // C = (0, 8), mass 9, at rest. Pairs in order (A,B), (A,C), (B,C):
    //
    // (A,B): dx = -3, dy = -4, distance 5, d = 20, k = 0.1 / 20 = 0.005,
    //        ax = 0.005 * -3 / 20 = -0.00075, ay = 0.005 * -4 / 20 = -0.001.
    //        A.V -= a * 4  -> A.V = (0.003, 0.004)
    //        B.V += a * 1  -> B.V = (0.49925, -0.251)
    // (A,C): dx = 0, dy = -8, distance 8, d = 32, k = 0.1 / 32 = 0.003125,
    //        ax = 0, ay = 0.003125 * -8 / 32 = -0.00078125.
    //        A.V -= a * 9  -> A.V = (0.003, 0.004 + 0.00703125) = (0.003, 0.01103125)
    //        C.V += a * 1  -> C.V = (0, -0.00078125)
    // (B,C): dx = 3, dy = -4, distance 5, d = 20, k = 0.005,
    //        ax = 0.005 * 3 / 20 = 0.00075, ay = -0.001.
    //        B.V -= a * 9  -> B.V = (0.49925 - 0.00675, -0.251 + 0.009) = (0.4925, -0.242)
    //        C.V += a * 4  -> C.V = (0.003, -0.00078125 - 0.004) = (0.003, -0.00478125)
    // Position update: A = (0.003, 0.01103125), B = (3.4925, 3.758),
    // C = (0.003, 7.99521875). Momentum: the mass-weighted velocity changes
    // sum to zero, (0.003 - 0.03 + 0.027, 0.01103125 + 0.036 - 0.04703125).
    for (const Implementation& impl : Implementations) {
        std::vector<Block> blocks = {BlockAt(0, 0, 0), BlockAt(3, 4, 1, 0.5, -0.25), BlockAt(0, 8, 2)};
        StepOnce(impl.Step, blocks);
        const std::string name = impl.Name;
        ExpectNearExact(blocks[0], 0.003, 0.01103125, 0.003, 0.01103125, name + " A");
        ExpectNearExact(blocks[1], 3.4925, 3.758, 0.4925, -0.242, name + " B");
        ExpectNearExact(blocks[2], 0.003, 7.99521875, 0.003, -0.00478125, name + " C");
    }
}

TEST_F(AttractionTest, CoincidentCentresStayFinite)
{
    for (const Implementation& impl : Implementations) {
        const std::string name = impl.Name;
        // Two blocks on one spot feel only the third, equally, so they stay
        // together; every step skips their pair.
        std::vector<Block> blocks = {BlockAt(5, 5, 1), BlockAt(5, 5, 1), BlockAt(9, 8, 2)};
        for (int step = 0; step < 200; ++step) {
            StepOnce(impl.Step, blocks);
            for (size_t i = 0; i < blocks.size(); ++i)
                ASSERT_TRUE(std::isfinite(blocks[i].X) && std::isfinite(blocks[i].Y) &&
                            std::isfinite(blocks[i].VX) && std::isfinite(blocks[i].VY))
                    << name << ": block " << i << " after step " << step << ": X " << blocks[i].X << " Y "
                    << blocks[i].Y << " VX " << blocks[i].VX << " VY " << blocks[i].VY;
            ASSERT_EQ(0, CompareBits({blocks[1]}, {blocks[0]}, name + ", the coincident pair, step " +
                                                                   std::to_string(step)));
        }
        EXPECT_NE(blocks[0].VX, 0.0) << name << ": the third block pulls";

        // All on one spot: nothing to pull in any direction.
        std::vector<Block> pile = {BlockAt(7, 7, 0), BlockAt(7, 7, 3), BlockAt(7, 7, 1, 0.25, 0.5)};
        StepOnce(impl.Step, pile);
        CompareBits(pile, {BlockAt(7, 7, 0), BlockAt(7, 7, 3), BlockAt(7.25, 7.5, 1, 0.25, 0.5)},
                    name + ", a pile on one spot");

        // A distance too small to square underflows to zero: skipped too.
        std::vector<Block> close = {BlockAt(0, 7, 0), BlockAt(1e-300, 7, 0)};
        StepOnce(impl.Step, close);
        CompareBits(close, {BlockAt(0, 7, 0), BlockAt(1e-300, 7, 0)}, name + ", 1e-300 apart");

        // The closest squarable distance gives an enormous pull, but a finite one.
        std::vector<Block> closest = {BlockAt(0, 7, 0), BlockAt(1e-160, 7, 0)};
        StepOnce(impl.Step, closest);
        for (const Block& b : closest)
            EXPECT_TRUE(std::isfinite(b.VX) && std::isfinite(b.X) && b.VY == 0.0)
                << name << ", 1e-160 apart: VX " << b.VX << " X " << b.X << " VY " << b.VY;
    }
}

TEST_F(AttractionTest, AStopBetweenRowsLeavesTheLaterRowsAlone)
{
    // The flag is cleared by another thread while the step runs; whichever
    // row it stops before, rows 0..k-1 must be complete and rows k.. absent.
    // Block i < k then has its full-step velocity, and block j >= k exactly
    // what rows 0..k-1 give it: the reference over blocks 0..k-1 plus j.
    const std::vector<Block> start = Scatter(3000, 99);
    std::vector<Block> full = start;
    AttractionStepReference(full.data(), full.size());

    for (const Implementation& impl : Implementations) {
        const std::string name = impl.Name;
        bool stoppedMidway = false;
        for (int attempt = 0; attempt < 12 && !stoppedMidway; ++attempt) {
            std::vector<Block> got = start;
            std::atomic<bool> begun{false};
            Animating.store(true);
            std::thread stepper([&] {
                begun.store(true);
                impl.Step(got.data(), got.size());
            });
            while (!begun.load())
                std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::microseconds(100 << (attempt % 4)));
            Animating.store(false);
            stepper.join();

            size_t k = 0;
            while (k < got.size() && std::memcmp(&got[k].VX, &full[k].VX, sizeof(double)) == 0 &&
                   std::memcmp(&got[k].VY, &full[k].VY, sizeof(double)) == 0)
                ++k;
            if (k == got.size())
                continue;  // the step finished before the stop: try again
            std::vector<Block> prefix(start.begin(), start.begin() + k);
            prefix.push_back(start[0]);
            std::vector<Block> wantTail;
            for (size_t j = k; j < got.size(); ++j) {
                prefix.back() = start[j];
                Animating.store(true);
                AttractionStepReference(prefix.data(), prefix.size());
                wantTail.push_back(prefix.back());
            }
            const std::vector<Block> gotTail(got.begin() + k, got.end());
            ASSERT_EQ(0, CompareBits(gotTail, wantTail, name + ", blocks from " + std::to_string(k) +
                                                            " after a stop before row " + std::to_string(k)));
            stoppedMidway = k > 0;
        }
        EXPECT_TRUE(stoppedMidway) << name << ": no attempt stopped the step between its first and last rows";
    }

    // Cleared before the step: nothing changes at all.
    for (const Implementation& impl : Implementations) {
        std::vector<Block> got = start;
        Animating.store(false);
        impl.Step(got.data(), got.size());
        CompareBits(got, start, std::string(impl.Name) + ", stopped before row 0");
    }
}

TEST_F(AttractionTest, ProgramStepMatchesTheReferenceOnRealLetters)
{
    std::string error;
    ASSERT_TRUE(CreateRaster(1920, 1080, &error)) << error;
    ASSERT_TRUE(SetRasterFont("Times New Roman", 96, &error)) << error;
    const int pause = PausePercent.load();
    PausePercent.store(0);
    Running.store(true);
    const uint32_t seeds[] = {1, 0x2468ACE0u, 777};
    for (uint32_t seed : seeds) {
        RandSeed = seed;
        NewScene();
        char letter[8];
        std::snprintf(letter, sizeof letter, "0x%02X", unsigned(SceneLetter));
        const std::string what = "seed " + std::to_string(seed) + ", letter " + letter + ", " +
                                 std::to_string(BlockList.size()) + " blocks";
        ASSERT_GE(BlockList.size(), 20u) << what;
        std::vector<Block> reference = BlockList, program = BlockList;
        Animating.store(true);
        for (int step = 1; step <= 300; ++step) {
            StepOnce(AttractionStepReference, reference);
            StepOnce(AttractionStep, program);
            ASSERT_EQ(0, CompareBits(program, reference, what + ", step " + std::to_string(step)));
        }
        // The letter has really moved, so the comparison covered real work.
        EXPECT_NE(0, std::memcmp(&reference[0].X, &BlockList[0].X, sizeof(double))) << what;
    }
    PausePercent.store(pause);
    BlockList.clear();
    ReleaseRaster();
}
