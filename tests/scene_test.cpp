// The generator, the scene cycle with its pauses, shapes and stops, the scene clock, one animation
// step, the thread that owns the raster, and the shell's steps-per-second line.
#include <chrono>
#include <set>
#include <thread>

#include "shell/shell.h"
#include "tests/test_util.h"

TEST(Random, KnownSequenceAndDayClock)
{
    RandSeed = 0;
    std::vector<uint32_t> got;
    for (uint32_t range : {32, 220, 220, 220, 0})
        got.push_back(Random(range));
    EXPECT_EQ(got, (std::vector<uint32_t>{0, 6, 189, 44, 0}));
    Randomize();
    EXPECT_LT(RandSeed, 86400000u) << "milliseconds of one day";
}

TEST_F(CoreTest, SceneIsItsStepsAfterTheirPauses)
{
    BlockList.assign(5, BlockAt(1, 1, 3));  // leftovers of an earlier scene
    RandSeed = 5;
    const int64_t before = CounterNow();
    NewScene();
    const std::vector<Block> scene = BlockList;
    const std::vector<uint8_t> shown = Pixels();
    const uint32_t after = RandSeed;
    EXPECT_EQ(Headless.Presents, 1);
    EXPECT_TRUE(Headless.LastFrame == shown) << "the two-tone letter presented";
    EXPECT_EQ(Headless.SleptAtPresent, 50000) << "the pause before the letter, in microseconds";
    EXPECT_EQ(Headless.Slept, 1050000) << "and a second with the letter shown";
    EXPECT_TRUE(Animating.load());
    EXPECT_GE(SceneStart.load(), before);
    RandSeed = 5;  // the letter, then red, green and blue of each block in order
    EXPECT_EQ(SceneLetter, 0xC0 + Random(32));
    for (const Block& b : scene)
        for (uint32_t channel : {b.Colour.Red, b.Colour.Green, b.Colour.Blue})
            ASSERT_EQ(channel, Random(220)) << "block " << &b - scene.data();
    EXPECT_EQ(RandSeed, after);
    ClearRaster();
    DrawLetter(SceneLetter);
    MakeTwoTone();
    EXPECT_TRUE(Pixels() == shown) << "the letter drawn again";
    BlockList.clear();
    RandSeed = 5, Random(32);
    Decompose(WorkRect);
    EXPECT_TRUE(SameBlocks(scene, BlockList));
    std::set<int> letters;
    for (int i = 0; i < 200; ++i)
        NewScene(), letters.insert(SceneLetter);
    EXPECT_EQ(letters.size(), 32u);
}

// A window that changes shape: the next scene's raster takes its shape (none for a shape without columns).
TEST_F(CoreTest, TheNextSceneTakesTheWindowsNewShape)
{
    const struct { int32_t Width, Height, Columns; } cases[] = {{320, 480, 100}, {1, 1000, 100}, {1920, 1080, 267}};
    for (const auto& c : cases) {
        ReshapeAtNextScene(c.Width, c.Height);
        NewScene();
        EXPECT_EQ(RasterWidth, c.Columns) << c.Width << " x " << c.Height;
    }
}

TEST_F(CoreTest, AStopBeforeOrDuringTheScenePausesWins)
{
    for (int64_t stopAt : {0, 25000, 50000, 300000, 1045000}) {
        HeadlessReset();
        Running.store(true);
        if (stopAt == 0)
            RequestStop();
        Headless.OnSleep = [stopAt] { Headless.Slept >= stopAt ? RequestStop() : void(); };
        NewScene();
        EXPECT_FALSE(Animating.load()) << "stopped after " << stopAt << " us";
        EXPECT_EQ(Headless.Slept, stopAt) << "the pause goes on after the stop";
        EXPECT_FALSE(BlockList.empty()) << "the blocks are still cut";
    }
}

TEST(SceneClock, ExpiresOnlyAfterMoreThanSixtySeconds)
{
    constexpr int64_t G = 1'000'000'000, E = 100'000'000'000'000'000;  // at E ticks a second 60 s + 1 tick
    const struct { int64_t now, start, frequency; bool expired; } cases[] = {  // is 60.0 as a double
        {-5 + 60 * 3'579'545LL, -5, 3'579'545, false}, {-4 + 60 * 3'579'545LL, -5, 3'579'545, true},
        {60 * E, 0, E, false}, {60 * E + 1, 0, E, true}, {0, 1000 * G, G, false}, {100 * G, 0, 0, false}};
    for (const auto& c : cases)
        EXPECT_EQ(SceneExpired(c.now, c.start, c.frequency), c.expired) << c.now << " " << c.start;
}

TEST_F(CoreTest, AnimationStepMovesDrawsAndChangesSceneOnlyWhileAnimating)
{
    const int64_t second = CounterFrequency();
    const struct { const char* what; bool stopped; int64_t age; bool newScene; } cases[] = {
        {"58 s in", false, 58 * second, false}, {"just over 60 s in", false, 60 * second + 1000, true},
        {"stopped 61 s in", true, 61 * second, false}};
    for (const auto& c : cases) {
        HeadlessReset();
        BlockList = Scatter(40, 3);
        std::vector<Block> want = BlockList;
        Running.store(true), Animating.store(true);
        c.stopped ? RequestStop() : void();
        AttractionStepReference(want.data(), want.size());
        PositionUpdate(want.data(), want.size());
        RandSeed = 77;
        SceneStart.store(CounterNow() - c.age);
        AnimationStep();
        EXPECT_EQ(Animating.load(), !c.stopped) << c.what;
        EXPECT_EQ(Headless.Presents, 1 + c.newScene) << c.what;
        EXPECT_EQ(RandSeed == 77, !c.newScene) << c.what;
        if (c.newScene)
            continue;
        EXPECT_TRUE(SameBlocks(BlockList, want)) << c.what << ": the step and position update";
    }
}

TEST_F(CoreTest, AnimationThreadChangesScenesAndFreesOnlyTheRasterItWasHanded)
{
    // Idle, never handed a scene: the main thread may still be building the
    // first scene in the raster, which is not the thread's to free.
    std::thread idle(AnimationThread, false, std::chrono::microseconds(0));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    RequestStop();
    idle.join();
    ASSERT_NE(RowTable[0], nullptr);
    Running.store(true);  // start-up's order, then two scene changes on the thread, 1 ms after each step
    StepCount.store(0);
    std::thread worker(AnimationThread, false, std::chrono::microseconds(1000));
    NewScene();
    for (int change = 0; change < 2; ++change) {
        const int64_t moved = SceneStart.load() - 61 * CounterFrequency();
        SceneStart.store(moved);
        for (int ms = 0; ms < 60000 && SceneStart.load() == moved; ++ms)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_NE(SceneStart.load(), moved) << "scene change " << change;
    }
    RequestStop();
    worker.join();
    EXPECT_NEAR(double(Headless.Slept - 3 * 1050000), 1000.0 * double(StepCount.load()), 1000) << "the pauses";
    EXPECT_FALSE(Animating.load());
    EXPECT_EQ(RowTable[0], nullptr) << "the thread frees the raster it was handed";
}

// The letter's second passes in real time here; the line must not show the
// still letter as a rate, then shows the motion's.
TEST(StepRate, NoneUntilASecondOfStepsIsMeasured)
{
    HeadlessReset();
    Headless.OnSleep = [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); };
    std::string early, late;
    std::thread watcher([&] {
        for (std::string* seen : {&early, &late}) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
            std::lock_guard<std::mutex> lock(Headless.Lock);
            *seen = Headless.Overlay;
        }
        PlatformPostEvent(EventQuit);
    });
    EXPECT_EQ(StartUp(ScreenSaver("glyphfall-test", 1000, true)), 0);
    watcher.join();
    HeadlessReset();
    EXPECT_EQ(early, "") << "a rate before the first second of motion";
    EXPECT_NE(late.find(" steps/s"), std::string::npos) << late;
    EXPECT_NE(late.rfind("0.0 steps/s", 0), 0u) << late;
}
