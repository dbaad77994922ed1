// The vectorised attraction step against the reference loop, bit for bit,
// on every instruction set this processor runs: real letters over 2,000
// steps, and hand-made block lists for the numeric edge cases and for every
// tail length of a vector.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "animation/animation.h"
#include "animation/attraction_simd.h"
#include "common/random.h"
#include "common/state.h"
#include "scene/scene.h"

namespace {

uint64_t Bits(double v)
{
    uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

std::string Show(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g (0x%016" PRIx64 ")", v, Bits(v));
    return text;
}

// Compares every position and velocity bit (NaNs only as NaNs); names the
// first few that differ with both values.
::testing::AssertionResult SameBits(const std::vector<Block>& got, const std::vector<Block>& want)
{
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << "got " << got.size() << " blocks, expected " << want.size();
    std::ostringstream out;
    int differences = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        const struct { const char* name; double g, w; } fields[] = {
            {"X", got[i].X, want[i].X}, {"Y", got[i].Y, want[i].Y},
            {"VX", got[i].VX, want[i].VX}, {"VY", got[i].VY, want[i].VY}};
        for (const auto& f : fields) {
            // Any NaN matches any NaN: when both operands of an addition are
            // NaN, x86 returns the first one's, and which comes first in a
            // commutative operation is the compiler's choice, in the
            // reference loop too.
            if (Bits(f.g) == Bits(f.w) || (std::isnan(f.g) && std::isnan(f.w)))
                continue;
            if (++differences <= 6)
                out << "\n  block " << i << " " << f.name << ": got " << Show(f.g) << ", expected " << Show(f.w);
        }
    }
    if (differences == 0)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << differences << " values differ:" << out.str();
}

int64_t Widest() { return AttractionTargets().front(); }
int64_t Baseline() { return AttractionTargets().back(); }

// Runs steps of attraction and position update on the reference and on the
// given target side by side, comparing after every step.
// Steps of the long runs on real letters. Sanitizer builds check the
// memory and threading of the same code; 200 steps are plenty for that and
// keep those builds' test runs in minutes (the bits are checked over 2,000
// steps in the normal build).
#ifdef GLYPHFALL_SANITIZED
constexpr int LongRunSteps = 200;
#else
constexpr int LongRunSteps = 2000;
#endif

void ExpectSameSteps(const std::vector<Block>& start, int steps, int64_t target, const std::string& what)
{
    SCOPED_TRACE(what + " on " + AttractionTargetName(target));
    std::vector<Block> want = start, got = start;
    for (int s = 0; s < steps; ++s) {
        AttractionStepReference(want.data(), want.size());
        AttractionStepOn(target, got.data(), got.size());
        ASSERT_EQ(AttractionLastTarget(), got.size() >= 2 ? target : AttractionLastTarget())
            << "the step ran on " << AttractionTargetName(AttractionLastTarget());
        PositionUpdate(want.data(), want.size());
        PositionUpdate(got.data(), got.size());
        ASSERT_TRUE(SameBits(got, want)) << "after step " << s + 1 << " of " << steps << ", N = " << start.size();
    }
}

void ExpectSameStepsEverywhere(const std::vector<Block>& start, int steps, const std::string& what)
{
    for (int64_t target : AttractionTargets())
        ExpectSameSteps(start, steps, target, what);
}

Block At(double x, double y, uint32_t side = 1, double vx = 0.0, double vy = 0.0)
{
    Block b{};
    b.SizeX = b.SizeY = int32_t(side) - 1;
    b.X = x;
    b.Y = y;
    b.VX = vx;
    b.VY = vy;
    b.Mass = side * side;
    b.Half = double(b.SizeX) / 2.0;
    return b;
}

// Blocks spread over a raster-sized area with varied masses, from the
// program's own generator.
std::vector<Block> Scattered(size_t n, uint32_t seed)
{
    RandSeed = seed;
    std::vector<Block> blocks;
    for (size_t i = 0; i < n; ++i)
        blocks.push_back(At(Random(26700) / 100.0, Random(15000) / 100.0, 1 + Random(16)));
    return blocks;
}

struct StepFlags {
    StepFlags()
    {
        Running.store(true);
        Animating.store(true);
    }
    ~StepFlags()
    {
        Animating.store(false);
        Running.store(false);
    }
};

} // namespace

TEST(AttractionVector, BaselineAndWidestTargetsAreAvailable)
{
    const std::vector<int64_t> targets = AttractionTargets();
    ASSERT_FALSE(targets.empty());
    std::string names;
    for (int64_t t : targets)
        names += std::string(" ") + AttractionTargetName(t);
    std::printf("dispatch targets on this processor:%s\n", names.c_str());
    // The portable target is always there, whatever the processor.
    EXPECT_TRUE(std::strcmp(AttractionTargetName(Baseline()), "EMU128") == 0 ||
                std::strcmp(AttractionTargetName(Baseline()), "SCALAR") == 0)
        << AttractionTargetName(Baseline());
}

TEST(AttractionVector, SameBitsOverTwoThousandStepsOfRealLetters)
{
    StepFlags flags;
    std::string error;
    PausePercent.store(0);
    ASSERT_TRUE(CreateRaster(1920, 1080, &error)) << error;
    ASSERT_TRUE(SetRasterFont("Times New Roman", 96, &error)) << error;
    // A small, a middling and a large letter.
    for (uint8_t code : {uint8_t(0xC3), uint8_t(0xC0), uint8_t(0xD8)}) {
        RandSeed = 777;
        ClearRaster();
        DrawLetter(code);
        BlockList.clear();
        MakeTwoTone();
        Decompose(WorkRect);
        const std::vector<Block> start = BlockList;
        ASSERT_GT(start.size(), 100u) << "letter " << int(code);
        char what[32];
        std::snprintf(what, sizeof what, "letter 0x%02X", code);
        ExpectSameSteps(start, LongRunSteps, Widest(), what);
        if (Baseline() != Widest())
            ExpectSameSteps(start, LongRunSteps, Baseline(), what);
    }
    BlockList.clear();
    ReleaseRaster();
}

TEST(AttractionVector, SameBitsForEveryTailLength)
{
    StepFlags flags;
    // N = 0, 1, 2, 3, 5 and on past two widest vectors, so that every row
    // ends on every possible partial vector.
    for (size_t n = 0; n <= 37; ++n)
        ExpectSameStepsEverywhere(Scattered(n, uint32_t(1000 + n)), 3, "scattered N = " + std::to_string(n));
}

TEST(AttractionVector, SameBitsForCoincidentCentres)
{
    StepFlags flags;
    // Pairs on one centre, one such pair inside a vector and one across
    // vectors' ends; the pairs separate only through their other partners.
    std::vector<Block> blocks = Scattered(19, 42);
    blocks[3].X = blocks[4].X, blocks[3].Y = blocks[4].Y;
    blocks[0].X = blocks[17].X, blocks[0].Y = blocks[17].Y;
    blocks[9].X = blocks[10].X = blocks[11].X = 100.0;
    blocks[9].Y = blocks[10].Y = blocks[11].Y = 50.0;
    ExpectSameStepsEverywhere(blocks, 20, "coincident centres");
    // Only coincident blocks: nothing may change, -0.0 velocities included.
    const std::vector<Block> still = {At(5, 5, 1, -0.0, 0.0), At(5, 5, 2, 0.0, -0.0), At(5, 5, 3, -0.0, -0.0),
                                      At(5, 5, 1, 1.5, -0.0), At(5, 5, 2, -0.0, -2.5)};
    ExpectSameStepsEverywhere(still, 3, "all on one centre");
}

TEST(AttractionVector, SameBitsForNegativeZeroVelocities)
{
    StepFlags flags;
    // Symmetric neighbours give terms that cancel to zero of either sign.
    std::vector<Block> blocks = {At(10, 10, 1, -0.0, -0.0), At(20, 10, 1, -0.0, 0.0), At(30, 10, 1, 0.0, -0.0),
                                 At(20, 10, 2, -0.0, -0.0), At(20, 30, 1, -0.0, -0.0), At(20, 10, 1, 0.0, 0.0)};
    ExpectSameStepsEverywhere(blocks, 4, "negative zero velocities");
}

TEST(AttractionVector, SameBitsForFarAwayAndNonFiniteBlocks)
{
    StepFlags flags;
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<Block> far = Scattered(13, 7);
    far[6].X = 1e12;
    far[12].Y = -1e12;
    ExpectSameStepsEverywhere(far, 10, "blocks 1e12 pixels away");

    std::vector<Block> huge = Scattered(9, 8);
    huge[2].X = 1e300;  // its squared distance overflows to infinity
    huge[7].Y = 1e-300;
    ExpectSameStepsEverywhere(huge, 3, "overflowing distance");

    std::vector<Block> notANumber = Scattered(11, 9);
    notANumber[5].X = nan;
    ExpectSameStepsEverywhere(notANumber, 3, "a NaN position");

    std::vector<Block> infinite = Scattered(11, 10);
    infinite[4].Y = inf;
    infinite[9].X = -inf;
    ExpectSameStepsEverywhere(infinite, 3, "infinite positions");

    std::vector<Block> velocities = Scattered(7, 11);
    velocities[1].VX = nan;
    velocities[2].VY = -inf;
    ExpectSameStepsEverywhere(velocities, 3, "non-finite velocities");
}

TEST(AttractionVector, StopBeforeTheStepChangesNothing)
{
    StepFlags flags;
    Animating.store(false);
    const std::vector<Block> start = Scattered(23, 5);
    for (int64_t target : AttractionTargets()) {
        std::vector<Block> got = start;
        AttractionStepOn(target, got.data(), got.size());
        EXPECT_TRUE(SameBits(got, start)) << AttractionTargetName(target);
    }
}
