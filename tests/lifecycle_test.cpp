// The animation thread's life, headless, on a real thread: the scene clock,
// stops while it steps and while it builds a scene, and the raster released
// once it has ended.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "animation/animation.h"
#include "common/random.h"
#include "common/state.h"
#include "platform/headless/headless.h"
#include "scene/scene.h"

namespace {

using Clock = std::chrono::steady_clock;

int64_t Seconds(int64_t s) { return s * CounterFrequency(); }

int Presents()
{
    std::lock_guard<std::mutex> lock(Headless.Lock);
    return Headless.Presents;
}

// True when the last presented frame is a letter in two tones: pure black
// and white, some of each (an animation frame has coloured blocks).
bool TwoToneShown()
{
    std::lock_guard<std::mutex> lock(Headless.Lock);
    bool black = false, white = false;
    for (size_t i = 0; i + 2 < Headless.LastFrame.size(); i += 3) {
        const uint8_t* p = Headless.LastFrame.data() + i;
        if (p[0] != p[1] || p[1] != p[2] || (p[0] != 0 && p[0] != 255))
            return false;
        (p[0] == 0 ? black : white) = true;
    }
    return black && white;
}

// Polls until done() holds or the time is up; true when it held.
template <typename Done>
bool WaitFor(Done done, std::chrono::milliseconds limit)
{
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// AnimationThread on its own std::thread, as the program runs it.
struct Worker {
    std::thread Thread;
    std::atomic<bool> Ended{false};

    void Start()
    {
        Ended.store(false);
        Thread = std::thread([this] {
            AnimationThread();
            Ended.store(true);
        });
    }

    // Joins and returns how long the thread took to end. A thread that does
    // not end within the limit would hang the suite: say so and stop.
    std::chrono::milliseconds Join(std::chrono::milliseconds limit = std::chrono::milliseconds(10000))
    {
        const auto begin = Clock::now();
        if (!WaitFor([this] { return Ended.load(); }, limit)) {
            std::fprintf(stderr, "lifecycle_test: the animation thread did not end within %lld ms of the stop\n",
                         static_cast<long long>(limit.count()));
            std::abort();
        }
        Thread.join();
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin);
    }
};

// What one scene leaves behind, read after the thread has been joined.
struct SceneMark {
    uint8_t Letter;
    uint32_t Seed;
    size_t Blocks;
};

SceneMark Mark() { return {SceneLetter, RandSeed, BlockList.size()}; }

class LifecycleTest : public testing::Test {
protected:
    void SetUp() override
    {
        pause = PausePercent.load();
        std::string error;
        ASSERT_TRUE(CreateRaster(1920, 1080, &error)) << error;
        ASSERT_TRUE(SetRasterFont("Times New Roman", 96, &error)) << error;
        PausePercent.store(0);
        Running.store(false);
        Animating.store(false);
        BlockList.clear();
        RandSeed = 0x5EED1234u;
        HeadlessReset();
    }
    void TearDown() override
    {
        RequestStop();
        if (worker.Thread.joinable())
            worker.Join();
        BlockList.clear();
        ReleaseRaster();
        PausePercent.store(pause);
    }

    // Start-up's order: flags, the idle thread, then the first scene built
    // on this thread, which hands the scene over by setting Animating.
    void StartLikeTheProgram()
    {
        Running.store(true);
        Animating.store(false);
        worker.Start();
        NewScene();
        ASSERT_TRUE(Animating.load()) << "the first scene did not start animating";
    }

    // Rebuilds scenes from seed on this thread, with the raster the thread
    // released, and returns what the last one left.
    static SceneMark Replay(uint32_t seed, int scenes)
    {
        std::string error;
        EXPECT_TRUE(CreateRaster(1920, 1080, &error)) << error;
        const bool running = Running.exchange(false);
        RandSeed = seed;
        for (int i = 0; i < scenes; ++i)
            NewScene();
        Running.store(running);
        Animating.store(false);
        return Mark();
    }

    static void ExpectSameScene(const SceneMark& got, const SceneMark& want, const char* what)
    {
        EXPECT_EQ(got.Letter, want.Letter) << what << ": letter";
        EXPECT_EQ(got.Seed, want.Seed) << what << ": generator seed (" << got.Seed << " against " << want.Seed
                                       << ")";
        EXPECT_EQ(got.Blocks, want.Blocks) << what << ": blocks";
    }

    Worker worker;
    int pause = 100;
};

} // namespace

TEST(SceneClock, ExpiresOnlyAfterMoreThanSixtySeconds)
{
    const struct { int64_t now, start, frequency; bool expired; } cases[] = {
        {60'000'000'000, 0, 1'000'000'000, false},           // exactly 60.0 s
        {60'000'000'001, 0, 1'000'000'000, true},            // one tick more
        {59'999'999'999, 0, 1'000'000'000, false},
        {123 + 60 * 10'000'000LL, 123, 10'000'000, false},   // a 10 MHz counter
        {124 + 60 * 10'000'000LL, 123, 10'000'000, true},
        {-5 + 60 * 3'579'545LL, -5, 3'579'545, false},       // an odd frequency, negative start
        {-4 + 60 * 3'579'545LL, -5, 3'579'545, true},
        // Ticks so fine that 60 s plus one tick is 60.0 as a double.
        {6'000'000'000'000'000'000, 0, 100'000'000'000'000'000, false},
        {6'000'000'000'000'000'001, 0, 100'000'000'000'000'000, true},
        {0, 1'000'000'000'000, 1'000'000'000, false},        // a start still to come
        {100'000'000'000, 0, 0, false},                      // no frequency
        {100'000'000'000, 0, -1'000'000'000, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SceneExpired(c.now, c.start, c.frequency), c.expired)
            << "now " << c.now << ", start " << c.start << ", frequency " << c.frequency;
}

TEST_F(LifecycleTest, JustOverSixtySecondsStartsANewScene)
{
    const uint32_t seed = RandSeed;
    StartLikeTheProgram();
    const int presents = Presents();
    const int64_t moved = CounterNow() - Seconds(60) - 1;
    SceneStart.store(moved);
    ASSERT_TRUE(WaitFor([&] { return SceneStart.load() != moved && Animating.load(); }, std::chrono::seconds(60)))
        << "no new scene after the clock passed 60 s";
    RequestStop();
    worker.Join();
    EXPECT_GE(Presents(), presents + 2) << "a frame and the new letter in two tones";
    ExpectSameScene(Mark(), Replay(seed, 2), "after one scene change");
}

TEST_F(LifecycleTest, UnderSixtySecondsKeepsTheScene)
{
    const uint32_t seed = RandSeed;
    StartLikeTheProgram();
    const int presents = Presents();
    const int64_t moved = CounterNow() - Seconds(58);
    SceneStart.store(moved);
    ASSERT_TRUE(WaitFor([&] { return Presents() >= presents + 20; }, std::chrono::seconds(60)))
        << "the thread is not stepping";
    RequestStop();
    worker.Join();
    EXPECT_EQ(SceneStart.load(), moved) << "a scene started before 60 s had passed";
    ExpectSameScene(Mark(), Replay(seed, 1), "still the first scene");
}

TEST_F(LifecycleTest, StopDuringTheAttractionStep)
{
    // Enough blocks that one step takes far longer than noticing its frame.
    uint32_t s = 4242;
    auto next = [&s](uint32_t n) {
        s = s * 1664525u + 1013904223u;
        return uint32_t((uint64_t(s) * n) >> 32);
    };
    std::vector<Block> initial;
    for (int i = 0; i < 8000; ++i) {
        Block b{};
        b.SizeX = b.SizeY = int32_t(next(3));
        b.Half = b.SizeX / 2.0;
        b.X = next(26600) / 100.0 + b.Half;
        b.Y = next(14900) / 100.0 + b.Half;
        b.Mass = uint32_t(b.SizeX + 1) * uint32_t(b.SizeX + 1);
        b.Colour = {uint8_t(next(220)), uint8_t(next(220)), uint8_t(next(220))};
        initial.push_back(b);
    }
    // What the first step gives, and what a whole second step would.
    Animating.store(true);
    std::vector<Block> first = initial;
    AttractionStepReference(first.data(), first.size());
    PositionUpdate(first.data(), first.size());
    std::vector<Block> second = first;
    AttractionStepReference(second.data(), second.size());

    // The stop is made shortly after the first frame, inside the second
    // step. Where it lands exactly depends on the scheduler and on how long
    // the step prepares before its first row, so a run whose stop fell
    // between steps, before the first row or after the last is checked for
    // what it can show and repeated with a longer delay.
    for (int attempt = 1;; ++attempt) {
        SCOPED_TRACE("attempt " + std::to_string(attempt));
        ASSERT_LE(attempt, 12) << "no run stopped a step partway through its attraction";
        std::string error;
        if (!RowTable[0]) {
            ASSERT_TRUE(CreateRaster(1920, 1080, &error)) << error;
        }
        HeadlessReset();
        BlockList = initial;
        SceneLetter = 0xC7;
        const SceneMark before = Mark();
        Running.store(true);
        Animating.store(true);
        SceneStart.store(CounterNow());
        worker.Start();
        ASSERT_TRUE(WaitFor([] { return Presents() >= 1; }, std::chrono::seconds(120))) << "no first frame";
        std::this_thread::sleep_for(std::chrono::microseconds(250 << std::min(attempt - 1, 6)));
        const int64_t moved = CounterNow() - Seconds(61);
        SceneStart.store(moved);
        RequestStop();
        worker.Join();

        // Wherever the stop landed: no new scene, and it stays stopped.
        EXPECT_FALSE(Animating.load());
        EXPECT_EQ(SceneStart.load(), moved) << "a new scene started after the stop";
        ExpectSameScene(Mark(), before, "after a stop during the step");
        ASSERT_EQ(BlockList.size(), first.size());
        const int frames = Presents();
        if (frames == 1) {
            // Between the steps: exactly the first step's result.
            size_t differing = 0;
            for (size_t i = 0; i < first.size(); ++i)
                differing += std::memcmp(&BlockList[i].X, &first[i].X, sizeof(double)) != 0 ||
                             std::memcmp(&BlockList[i].VX, &first[i].VX, sizeof(double)) != 0 ||
                             std::memcmp(&BlockList[i].Y, &first[i].Y, sizeof(double)) != 0 ||
                             std::memcmp(&BlockList[i].VY, &first[i].VY, sizeof(double)) != 0;
            ASSERT_EQ(differing, 0u) << "blocks that moved without a frame";
            continue;
        }
        if (frames > 2)
            continue;  // the second step ended before the stop
        size_t changed = 0, partial = 0, unmoved = 0;
        for (size_t i = 0; i < BlockList.size(); ++i) {
            const Block& b = BlockList[i];
            // Every position advanced by the velocity the interrupted step left.
            unmoved += b.X != first[i].X + b.VX || b.Y != first[i].Y + b.VY;
            changed += b.VX != first[i].VX || b.VY != first[i].VY;
            partial += b.VX != second[i].VX || b.VY != second[i].VY;
        }
        if (unmoved == 0 && (changed == 0 || partial == 0))
            continue;  // stopped before the second step's first row, or after its last
        EXPECT_EQ(unmoved, 0u) << "blocks whose position update was skipped";
        for (size_t i = 0, shown = 0; i < BlockList.size() && unmoved && shown < 4; ++i) {
            const Block& b = BlockList[i];
            if (b.X != first[i].X + b.VX || b.Y != first[i].Y + b.VY) {
                ++shown;
                ADD_FAILURE() << "block " << i << " at (" << b.X << ", " << b.Y << ") expected ("
                              << first[i].X + b.VX << ", " << first[i].Y + b.VY << ")";
            }
        }
        std::fprintf(stderr, "[ stopped  ] inside the attraction step at attempt %d\n", attempt);
        break;
    }
}

TEST_F(LifecycleTest, StopWhileBuildingASceneOnTheAnimationThread)
{
    StartLikeTheProgram();
    // Full-length pauses: the new scene waits 1 s with its letter shown.
    PausePercent.store(100);
    SceneStart.store(CounterNow() - Seconds(61));
    // The letter in two tones on show: the scene is in its one-second pause.
    ASSERT_TRUE(WaitFor([] { return !Animating.load() && TwoToneShown(); }, std::chrono::seconds(60)))
        << "no scene was started on the animation thread";
    RequestStop();
    const auto latency = worker.Join();
    std::fprintf(stderr, "[ stopped  ] the thread ended %lld ms after the stop\n",
                 static_cast<long long>(latency.count()));
    EXPECT_LT(latency.count(), 500) << "the scene's pause did not wake on the stop";
    EXPECT_FALSE(Animating.load()) << "the scene started animating after the stop";
    EXPECT_FALSE(Running.load());
    EXPECT_EQ(RowTable[0], nullptr) << "the thread did not release the raster";
}

TEST_F(LifecycleTest, RasterReleasedOnceAfterTheJoin)
{
    const int releases = RasterReleases;
    // Idle: the thread only sleeps until the stop. No scene was handed to
    // it, so the raster is not its to free: the main thread may still be
    // building the first scene in it (a SIGTERM during start-up).
    Running.store(true);
    worker.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    RequestStop();
    const auto latency = worker.Join();
    EXPECT_LT(latency.count(), 500) << "an idle thread must notice the stop within its sleeps";
    EXPECT_EQ(RasterReleases, releases) << "freed by a thread that never owned it";
    ASSERT_NE(RowTable[0], nullptr);
    // The owner, the main thread, keeps building and releases after the join.
    Running.store(true);
    NewScene();
    Running.store(false);
    Animating.store(false);
    ReleaseRaster();
    EXPECT_EQ(RasterReleases, releases + 1);
    // The shell releases again on its way out: that must not count twice.
    ReleaseRaster();
    EXPECT_EQ(RasterReleases, releases + 1);

    // The same after animating.
    std::string error;
    ASSERT_TRUE(CreateRaster(1920, 1080, &error)) << error;
    StartLikeTheProgram();
    ASSERT_TRUE(WaitFor([] { return Presents() >= 5; }, std::chrono::seconds(60))) << "the thread is not stepping";
    RequestStop();
    worker.Join();
    EXPECT_EQ(RasterReleases, releases + 2);
    ReleaseRaster();
    EXPECT_EQ(RasterReleases, releases + 2);
}

TEST_F(LifecycleTest, TwoSceneChangesBackToBack)
{
    // Run under ThreadSanitizer too: start-up, two scene changes on the
    // animation thread and the stop must share nothing unsynchronised.
    const uint32_t seed = RandSeed;
    StartLikeTheProgram();
    for (int change = 1; change <= 2; ++change) {
        const int64_t moved = SceneStart.load() - Seconds(61);
        SceneStart.store(moved);
        ASSERT_TRUE(
            WaitFor([&] { return SceneStart.load() != moved && Animating.load(); }, std::chrono::seconds(60)))
            << "scene change " << change << " did not happen";
    }
    RequestStop();
    worker.Join();
    EXPECT_FALSE(Animating.load());
    ExpectSameScene(Mark(), Replay(seed, 3), "after two scene changes");
}
