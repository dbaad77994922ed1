// glyphfall-soak: many scenes and many scene changes, headless, checking
// what must always hold: blocks tile the black pixels exactly, no value
// turns into NaN, and memory does not grow beyond the block list's capacity.
//
//   glyphfall-soak [--seeds N] [--steps N] [--changes N]
// Defaults are the full soak (1000 seeds x 3 screen shapes, 20 steps each,
// 1000 scene changes); CI runs a reduced size.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "animation/animation.h"
#include "common/random.h"
#include "common/state.h"
#include "scene/scene.h"

static int Failures = 0;

static void Fail(const char* what, const std::string& where)
{
    if (++Failures <= 20)
        std::fprintf(stderr, "soak: %s (%s)\n", what, where.c_str());
}

static long ResidentKiB()
{
    long pages = 0, resident = 0;
    FILE* f = std::fopen("/proc/self/statm", "r");
    if (f) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * 4;
}

// Every black pixel of the two-tone picture lies in exactly one block, and
// no block covers a white one.
static bool TilesExactly(const std::vector<uint8_t>& twoTone)
{
    std::vector<uint8_t> covered(size_t(RasterWidth) * RasterHeight, 0);
    for (const Block& b : BlockList) {
        const int32_t left = int32_t(b.X - b.Half), top = int32_t(b.Y - b.Half);
        for (int32_t y = top; y <= top + b.SizeY; ++y)
            for (int32_t x = left; x <= left + b.SizeX; ++x) {
                if (x < 0 || y < 0 || x >= RasterWidth || y >= RasterHeight)
                    return false;
                if (++covered[size_t(y) * RasterWidth + x] > 1)
                    return false;
            }
    }
    for (int32_t y = 0; y < RasterHeight; ++y)
        for (int32_t x = 0; x < RasterWidth; ++x) {
            const bool black = twoTone[(size_t(y) * RasterWidth + x) * 3] == 0;
            if (black != (covered[size_t(y) * RasterWidth + x] == 1))
                return false;
        }
    return true;
}

static bool AllFinite()
{
    for (const Block& b : BlockList)
        if (!std::isfinite(b.X) || !std::isfinite(b.Y) || !std::isfinite(b.VX) || !std::isfinite(b.VY))
            return false;
    return true;
}

static void SoakScenes(int seeds, int steps)
{
    const struct { int32_t w, h; } shapes[] = {{1920, 1080}, {1024, 768}, {1080, 1920}};
    for (const auto& shape : shapes) {
        std::string error;
        if (!CreateRaster(shape.w, shape.h, &error) || !SetRasterFont("Times New Roman", 96, &error)) {
            Fail("set-up failed", error);
            return;
        }
        bool seen[32] = {};
        std::vector<uint8_t> twoTone(size_t(RasterWidth) * RasterHeight * 3);
        for (int seed = 0; seed < seeds; ++seed) {
            const std::string where = std::to_string(shape.w) + "x" + std::to_string(shape.h) + " seed " +
                                      std::to_string(seed);
            RandSeed = uint32_t(seed);
            Running.store(true);
            NewScene();
            seen[SceneLetter - 0xC0] = true;
            // NewScene leaves the two-tone picture in the raster.
            for (int32_t y = 0; y < RasterHeight; ++y)
                for (int32_t x = 0; x < RasterWidth; ++x)
                    twoTone[(size_t(y) * RasterWidth + x) * 3] = RowTable[y][x * 3 + 2];
            if (!TilesExactly(twoTone))
                Fail("blocks do not tile the black pixels", where);
            for (int s = 0; s < steps; ++s) {
                AttractionStep(BlockList.data(), BlockList.size());
                PositionUpdate(BlockList.data(), BlockList.size());
                RenderFrame();
            }
            if (!AllFinite())
                Fail("a block became NaN or infinite", where);
        }
        int letters = 0;
        for (bool s : seen)
            letters += s;
        std::printf("soak: %dx%d: %d scenes, %d of 32 letters\n", shape.w, shape.h, seeds, letters);
        if (seeds >= 1000 && letters != 32)
            Fail("not every letter occurred", std::to_string(shape.w) + "x" + std::to_string(shape.h));
        ReleaseRaster();
    }
}

// Scene changes on the real animation thread, the clock moved back instead
// of waiting a minute; resident memory compared after a warm-up and at the end.
static void SoakSceneChanges(int changes)
{
    std::string error;
    if (!CreateRaster(1920, 1080, &error) || !SetRasterFont("Times New Roman", 96, &error)) {
        Fail("set-up failed", error);
        return;
    }
    RandSeed = 1;
    Running.store(true);
    NewScene();
    std::thread worker(AnimationThread);
    const int64_t minute = 61 * CounterFrequency();
    long warm = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30 + changes);
    int done = 0;
    while (done < changes && std::chrono::steady_clock::now() < deadline) {
        int64_t start = SceneStart.load();
        // Only move a clock that no new scene has replaced meanwhile.
        if (!Animating.load() || !SceneStart.compare_exchange_strong(start, start - minute)) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            continue;
        }
        while (SceneStart.load() == start - minute && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (++done == 20)
            warm = ResidentKiB();
    }
    RequestStop();
    worker.join();
    const long end = ResidentKiB();
    const long allowance = long(BlockList.capacity() * sizeof(Block) / 1024) + 2048;
    std::printf("soak: %d scene changes; resident %ld KiB after 20, %ld KiB at the end (allowed growth %ld KiB)\n",
                done, warm, end, allowance);
    if (done < changes)
        Fail("scene changes stalled", std::to_string(done) + " of " + std::to_string(changes));
    if (warm > 0 && end - warm > allowance)
        Fail("memory grew", std::to_string(end - warm) + " KiB");
    if (!AllFinite())
        Fail("a block became NaN or infinite", "after the scene changes");
    if (RowTable[0] != nullptr)
        Fail("the raster was not released", "after the join");
}

int main(int argc, char** argv)
{
    int seeds = 1000, steps = 20, changes = 1000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const int v = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--seeds")) seeds = v;
        else if (!std::strcmp(argv[i], "--steps")) steps = v;
        else if (!std::strcmp(argv[i], "--changes")) changes = v;
        else {
            std::fprintf(stderr, "usage: glyphfall-soak [--seeds N] [--steps N] [--changes N]\n");
            return 2;
        }
    }
    PausePercent.store(0);
    SoakScenes(seeds, steps);
    SoakSceneChanges(changes);
    std::printf("soak: %s\n", Failures ? "FAILED" : "passed");
    return Failures ? 1 : 0;
}
