// The scene cycle and the animation's life: the pauses, the stop that wins,
// the scene clock, one animation step, and the thread that owns the raster.
#include <chrono>
#include <set>
#include <thread>

#include "tests/test_util.h"

TEST_F(CoreTest, SceneIsItsStepsAfterTheirPauses)
{
    BlockList.assign(5, BlockAt(1, 1, 3));  // leftovers of an earlier scene
    RandSeed = 5;
    const int64_t before = CounterNow();
    NewScene();
    const std::vector<Block> scene = BlockList;
    const std::vector<uint8_t> shown = Pixels();
    EXPECT_EQ(Headless.Presents, 1);
    EXPECT_EQ(Headless.SleptAtPresent, 50) << "the pause before the letter";
    EXPECT_EQ(Headless.Slept, 1050) << "and a second with the letter shown";
    EXPECT_TRUE(Headless.LastFrame == shown);
    EXPECT_TRUE(Animating.load() && SceneStart.load() >= before);
    RandSeed = 5;
    EXPECT_EQ(SceneLetter, 0xC0 + Random(32));
    ClearRaster();
    DrawLetter(SceneLetter);
    MakeTwoTone();
    EXPECT_TRUE(Pixels() == shown);
    BlockList.clear();
    Decompose(WorkRect);
    EXPECT_TRUE(SameBlocks(scene, BlockList));
    std::set<int> letters;
    for (int i = 0; i < 200; ++i)
        NewScene(), letters.insert(SceneLetter);
    EXPECT_TRUE(letters.size() == 32 && *letters.begin() == 0xC0) << letters.size();
}

TEST_F(CoreTest, AStopBeforeOrDuringTheScenePausesWins)
{
    for (int64_t stopAt : {0, 25, 50, 300, 1045}) {
        HeadlessReset();
        Running.store(true);
        if (stopAt == 0)
            RequestStop();
        Headless.OnSleep = [stopAt] {
            if (Headless.Slept >= stopAt)
                RequestStop();
        };
        NewScene();
        EXPECT_FALSE(Animating.load()) << "stopped after " << stopAt << " ms";
        EXPECT_EQ(Headless.Slept, stopAt) << "the pause goes on after the stop";
        EXPECT_FALSE(BlockList.empty()) << "the blocks are still cut";
    }
}

TEST(SceneClock, ExpiresOnlyAfterMoreThanSixtySeconds)
{
    const struct { int64_t now, start, frequency; bool expired; } cases[] = {
        {60'000'000'000, 0, 1'000'000'000, false}, {60'000'000'001, 0, 1'000'000'000, true},
        {124 + 60 * 10'000'000LL, 123, 10'000'000, true}, {-5 + 60 * 3'579'545LL, -5, 3'579'545, false},
        {-4 + 60 * 3'579'545LL, -5, 3'579'545, true},
        {6'000'000'000'000'000'000, 0, 100'000'000'000'000'000, false},  // 60 s + 1 tick is 60.0 as a double
        {6'000'000'000'000'000'001, 0, 100'000'000'000'000'000, true},
        {0, 1'000'000'000'000, 1'000'000'000, false}, {100'000'000'000, 0, 0, false},
        {100'000'000'000, 0, -1'000'000'000, false}};
    for (const auto& c : cases)
        EXPECT_EQ(SceneExpired(c.now, c.start, c.frequency), c.expired) << c.now << " " << c.start << " " << c.frequency;
}

TEST_F(CoreTest, AnimationStepMovesDrawsAndChangesSceneOnlyWhileAnimating)
{
    const int64_t minute = 60 * CounterFrequency();
    const struct { const char* what; bool animating; int64_t age; bool newScene; } cases[] = {
        {"58 s in", true, minute - 2 * CounterFrequency(), false},
        {"just over 60 s in", true, minute + 1000, true},
        {"stopped, 61 s in", false, minute + CounterFrequency(), false}};
    for (const auto& c : cases) {
        HeadlessReset();
        BlockList = Scatter(40, 3);
        for (Block& b : BlockList)
            b.VX = b.Y / 64, b.VY = -b.X / 64;
        std::vector<Block> want = BlockList;
        Running.store(true);
        Animating.store(true);
        if (!c.animating)
            RequestStop();
        AttractionStepReference(want.data(), want.size());
        PositionUpdate(want.data(), want.size());
        RandSeed = 77;
        SceneStart.store(CounterNow() - c.age);
        AnimationStep();
        EXPECT_EQ(Animating.load(), c.animating) << c.what;
        EXPECT_EQ(Headless.Presents, c.newScene ? 2 : 1) << c.what;
        EXPECT_EQ(RandSeed == 77, !c.newScene) << c.what;
        EXPECT_TRUE(c.newScene || SameBlocks(BlockList, want)) << c.what << ": the step and the position update";
    }
}

TEST_F(CoreTest, AnimationThreadStepsChangesScenesAndReleasesTheRasterItWasHanded)
{
    // Idle, never handed a scene: the main thread may still be building the
    // first scene in the raster, which is not the thread's to free.
    std::thread idle(AnimationThread);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    RequestStop();
    idle.join();
    ASSERT_NE(RowTable[0], nullptr);
    // Start-up's order, then two scene changes on the thread and a stop.
    Running.store(true);
    std::thread worker(AnimationThread);
    NewScene();
    for (int change = 0; change < 2; ++change) {
        const int64_t moved = SceneStart.load() - 61 * CounterFrequency();
        SceneStart.store(moved);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (SceneStart.load() == moved && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_NE(SceneStart.load(), moved) << "scene change " << change;
    }
    RequestStop();
    worker.join();
    EXPECT_FALSE(Animating.load());
    EXPECT_EQ(RowTable[0], nullptr) << "the thread frees the raster it was handed";
}
