// glyphfall-pipeline: does showing frames slow the animation down?
//
// Opens the real window (SDL backend), builds one scene and runs the
// animation steps on their own thread. In alternating phases of the same run
// the main thread either pumps events, presenting the handed-over frames at
// the display's rate, or sleeps, so that frames are still handed over but
// never shown; the steps per second of each are compared. The hand-off must
// not make the animation wait: the loss should stay under 5%.
//
// Usage: glyphfall-pipeline [seconds per phase, default 3] [rounds, default 3]
// Needs a display (bench/pipeline.sh starts an Xvfb for it). Exit status 0
// when the loss is under 5%, 3 when it is not, 1 when it cannot run.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <sys/resource.h>

#include "animation/animation.h"
#include "bench/letter_scene.h"
#include "common/state.h"
#include "platform/display.h"
#include "platform/window.h"

namespace {

std::atomic<int64_t> Steps{0};

void CountingAnimationThread()
{
    while (Animating.load()) {
        AnimationStep();
        Steps.fetch_add(1, std::memory_order_relaxed);
    }
}

// Pumps the main thread's events (which presents frames) for a while, or
// only sleeps through it. Returns false when the window was asked to close.
bool Pump(double seconds, bool present = true)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (!present) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        PlatformEvent event;
        if (!PlatformGetEvent(&event) || event.Kind == EventClose)
            return false;
    }
    return true;
}

// CPU seconds the calling thread has used.
double ThreadCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_THREAD, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

}  // namespace

int main(int argc, char** argv)
{
    const double seconds = argc > 1 ? std::atof(argv[1]) : 3.0;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    // The scene clock starts a new scene after 60 s; stay well inside one.
    if (!(seconds > 0.0) || rounds < 1 || 2.0 * seconds * rounds > 50.0) {
        std::fprintf(stderr,
                     "glyphfall-pipeline: want seconds > 0, rounds >= 1, 2 * seconds * rounds <= 50\n");
        return 1;
    }
    std::string error;
    int32_t width = 0, height = 0;
    if (!PlatformOpenWindow(WindowPlace{}, "glyphfall-pipeline", &width, &height, &error)) {
        std::fprintf(stderr, "glyphfall-pipeline: cannot open the window: %s\n", error.c_str());
        return 1;
    }
    Running.store(true);
    if (!PrepareLetterRaster(width, height, PlatformScreenDpi(), &error)) {
        std::fprintf(stderr, "glyphfall-pipeline: cannot prepare the scene: %s\n", error.c_str());
        PlatformCloseWindow();
        return 1;
    }
    BlockList = LetterBlocks(0xC0);
    std::printf("screen %dx%d, letter 0xC0, N = %zu blocks\n", width, height, BlockList.size());
    SceneStart.store(CounterNow());
    Animating.store(true);
    std::thread animation(CountingAnimationThread);

    // Warm-up, then alternate: presentation on, presentation off.
    bool open = Pump(0.5);
    double rate[2] = {0, 0};  // steps per second: [0] presenting, [1] not
    double time[2] = {0, 0};
    double mainCpu[2] = {0, 0};  // the main thread's CPU seconds in each mode
    int64_t steps[2] = {0, 0};
    for (int r = 0; r < rounds && open; ++r) {
        for (int phase = 0; phase < 2 && open; ++phase) {
            const int64_t before = Steps.load();
            const auto start = std::chrono::steady_clock::now();
            const double cpuBefore = ThreadCpuSeconds();
            open = Pump(seconds, phase == 0);
            mainCpu[phase] += ThreadCpuSeconds() - cpuBefore;
            const auto now = std::chrono::steady_clock::now();
            const double elapsed = std::chrono::duration<double>(now - start).count();
            const int64_t done = Steps.load() - before;
            steps[phase] += done;
            time[phase] += elapsed;
            std::printf("round %d, presentation %-3s: %8.1f steps/s\n", r + 1, phase == 0 ? "on" : "off",
                        double(done) / elapsed);
        }
    }
    Animating.store(false);
    animation.join();
    Running.store(false);
    BlockList.clear();
    ReleaseRaster();
    PlatformCloseWindow();
    if (!open) {
        std::fprintf(stderr, "glyphfall-pipeline: the window was closed during the run\n");
        return 1;
    }
    rate[0] = double(steps[0]) / time[0];
    rate[1] = double(steps[1]) / time[1];
    const double loss = 100.0 * (rate[1] - rate[0]) / rate[1];
    std::printf("animation steps per second: presenting %.1f, not presenting %.1f, loss %.2f%% (limit 5%%)\n",
                rate[0], rate[1], loss);
    std::printf("main thread busy: %.1f%% of a core presenting, %.1f%% not presenting\n",
                100.0 * mainCpu[0] / time[0], 100.0 * mainCpu[1] / time[1]);
    return loss < 5.0 ? 0 : 3;
}
