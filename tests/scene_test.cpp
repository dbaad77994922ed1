// The scene cycle: the letter, the generator's order, the pauses, the
// presented two-tone picture, and the stop request that wins.
#include <chrono>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/random.h"
#include "common/state.h"
#include "platform/headless/headless.h"
#include "scene/scene.h"

namespace {

// Every test starts with a fresh 1920 x 1080 raster, the font at 96 pixels,
// the program running, no pauses, and nothing recorded.
class Scene : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(CreateRaster(1920, 1080, &error)) << error;
        ASSERT_TRUE(SetRasterFont("Times New Roman", 96, &error)) << error;
        Running.store(true);
        Animating.store(false);
        PausePercent.store(0);
        BlockList.clear();
        HeadlessReset();
    }
    void TearDown() override
    {
        Running.store(false);
        Animating.store(false);
        PausePercent.store(100);
        BlockList.clear();
        ReleaseRaster();
    }
};

std::vector<uint8_t> PackedRaster()
{
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < RasterHeight; ++y)
        out.insert(out.end(), RowTable[y], RowTable[y] + size_t(RasterWidth) * 3);
    return out;
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Field by field: a Block has padding, which memcmp would compare too.
bool SameBlocks(const std::vector<Block>& a, const std::vector<Block>& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const Block &p = a[i], &q = b[i];
        if (p.SizeX != q.SizeX || p.SizeY != q.SizeY || !SameBits(p.X, q.X) || !SameBits(p.Y, q.Y) ||
            !SameBits(p.VX, q.VX) || !SameBits(p.VY, q.VY) || p.Mass != q.Mass || !SameBits(p.Half, q.Half) ||
            p.Colour.Red != q.Colour.Red || p.Colour.Green != q.Colour.Green || p.Colour.Blue != q.Colour.Blue)
            return false;
    }
    return true;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

} // namespace

TEST_F(Scene, LetterStaysInRangeAndEveryCapitalOccurs)
{
    RandSeed = 4242;
    std::set<int> seen;
    for (int i = 0; i < 400; ++i) {
        NewScene();
        ASSERT_GE(SceneLetter, 0xC0);
        ASSERT_LE(SceneLetter, 0xDF);
        seen.insert(SceneLetter);
    }
    EXPECT_EQ(seen.size(), 32u);
}

TEST_F(Scene, GeneratorOrderIsTheLetterThenThreeCallsPerBlock)
{
    RandSeed = 99;
    NewScene();
    ASSERT_FALSE(BlockList.empty());
    RandSeed = 99;
    EXPECT_EQ(SceneLetter, 0xC0 + Random(32));
    for (size_t i = 0; i < BlockList.size(); ++i) {
        const uint32_t r = Random(220), g = Random(220), b = Random(220);
        const Bgr& c = BlockList[i].Colour;
        ASSERT_TRUE(c.Red == r && c.Green == g && c.Blue == b)
            << "block " << i << ": got r,g,b " << int(c.Red) << "," << int(c.Green) << "," << int(c.Blue)
            << ", expected " << r << "," << g << "," << b;
    }
}

TEST_F(Scene, ShowsTheTwoToneLetterAndCutsExactlyThatPicture)
{
    // Leftovers of an earlier scene: blocks in the list, ink on the raster.
    BlockList.assign(5, Block{3, 3, 1.0, 1.0, 2.0, 2.0, 16, 1.5, {1, 2, 3}});
    for (int32_t y = 0; y < RasterHeight; ++y)
        std::memset(RowTable[y] + 3, 0, size_t(RasterWidth - 1) * 3);
    RandSeed = 5;
    NewScene();
    const std::vector<Block> scene = BlockList;
    const std::vector<uint8_t> shown = PackedRaster();
    {
        std::lock_guard<std::mutex> lock(Headless.Lock);
        EXPECT_EQ(Headless.Presents, 1);
        EXPECT_EQ(Headless.FrameWidth, RasterWidth);
        EXPECT_EQ(Headless.FrameHeight, RasterHeight);
        EXPECT_TRUE(Headless.LastFrame == shown) << "the presented frame is the raster after the conversion";
    }

    // The same steps by hand give the same picture and the same blocks; the
    // old ones are gone.
    RandSeed = 5;
    const uint8_t letter = uint8_t(0xC0 + Random(32));
    EXPECT_EQ(letter, SceneLetter);
    ClearRaster();
    DrawLetter(letter);
    MakeTwoTone();
    EXPECT_TRUE(PackedRaster() == shown);
    BlockList.clear();
    Decompose(WorkRect);
    EXPECT_TRUE(SameBlocks(BlockList, scene)) << "got " << scene.size() << " blocks, expected " << BlockList.size();
    EXPECT_TRUE(Animating.load());
}

TEST_F(Scene, PausesComeBeforeTheLetterAndAfterItIsShown)
{
    PausePercent.store(100);
    const auto t0 = std::chrono::steady_clock::now();
    const int64_t c0 = CounterNow();
    std::thread worker(NewScene);
    // Watch for the present and for Animating; only lower bounds are checked.
    std::chrono::steady_clock::time_point shownAt{}, animatingAt{};
    while (true) {
        const auto now = std::chrono::steady_clock::now();
        if (shownAt == std::chrono::steady_clock::time_point{}) {
            std::lock_guard<std::mutex> lock(Headless.Lock);
            if (Headless.Presents > 0)
                shownAt = now;
        }
        if (Animating.load()) {
            animatingAt = now;
            break;
        }
        if (Seconds(now - t0) > 30)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    worker.join();
    const int64_t c1 = CounterNow();
    ASSERT_NE(shownAt, std::chrono::steady_clock::time_point{}) << "never presented";
    ASSERT_NE(animatingAt, std::chrono::steady_clock::time_point{}) << "never started animating";
    EXPECT_GE(Seconds(shownAt - t0), 0.050) << "the letter came before the 50 ms pause ended";
    EXPECT_GE(Seconds(animatingAt - shownAt), 0.990) << "the letter was shown for less than a second";
    // SceneStart is taken after both pauses, before Animating is set.
    const int64_t start = SceneStart.load();
    EXPECT_GE(start - c0, int64_t(1.05 * double(CounterFrequency())));
    EXPECT_LE(start, c1);
}

TEST_F(Scene, PausePercentScalesThePauses)
{
    PausePercent.store(10);
    const auto t0 = std::chrono::steady_clock::now();
    NewScene();
    EXPECT_GE(Seconds(std::chrono::steady_clock::now() - t0), 0.105);
    EXPECT_TRUE(Animating.load());
}

TEST_F(Scene, StopBeforeTheSceneLeavesItStopped)
{
    RequestStop();
    const auto t0 = std::chrono::steady_clock::now();
    PausePercent.store(100);
    NewScene();
    // No pause waits once the stop is made; the scene is still built whole.
    EXPECT_LT(Seconds(std::chrono::steady_clock::now() - t0), 0.5);
    EXPECT_FALSE(Animating.load());
    EXPECT_FALSE(BlockList.empty());
}

TEST_F(Scene, StopDuringThePauseEndsItAndWins)
{
    PausePercent.store(100);
    std::thread worker(NewScene);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // inside the one-second pause
    const auto stopAt = std::chrono::steady_clock::now();
    RequestStop();
    worker.join();
    // The rest of the pause is at least 850 ms; the scene ends well before.
    EXPECT_LT(Seconds(std::chrono::steady_clock::now() - stopAt), 0.5);
    EXPECT_FALSE(Animating.load());
    EXPECT_FALSE(BlockList.empty()) << "the blocks are still built, only not animated";
}

TEST_F(Scene, StopRacingTheEndOfTheSceneStillWins)
{
    // Stops land at every point of short scenes; whichever way the race
    // goes, a stopped program never ends up animating.
    for (int i = 0; i < 200; ++i) {
        Running.store(true);
        Animating.store(false);
        std::thread worker(NewScene);
        std::this_thread::sleep_for(std::chrono::microseconds(37 * (i % 40)));
        RequestStop();
        worker.join();
        ASSERT_FALSE(Animating.load()) << "round " << i;
    }
}
