// glyphfall-xscreensaver: glyphfall's scenes as an XScreenSaver hack. The
// core is glyphfall's own; only the pacing differs: a --delay between
// animation steps, so that a scene's motion fills its minute instead of
// being over within a second or two. XScreenSaver owns the input and ends
// the hack with SIGTERM.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "animation/animation.h"
#include "common/random.h"
#include "common/state.h"
#include "glyphfall-xscreensaver/options.h"
#include "glyphfall-xscreensaver/xscreensaver_file.h"
#include "platform/display.h"
#include "platform/process.h"
#include "platform/saver_window.h"
#include "platform/surface.h"
#include "scene/scene.h"

// The default delay: on a 1920x1080 raster the 32 letters' blocks first
// leave the picture empty after 1670 to over 30000 steps, a median of about
// 6600; at one step per 10 ms (plus the step itself) the median letter's
// motion lasts the scene's minute, and the CPU stays mostly idle.
constexpr uint32_t DefaultDelay = 10000;

enum { ExitOk = 0, ExitFailure = 1, ExitBadArgument = 2 };

static std::atomic<uint64_t> StepCount{0};   // animation steps so far, for --fps

// One line on stderr, then the exit code.
static int Fail(int code, const std::string& why)
{
    std::fprintf(stderr, "glyphfall-xscreensaver: %s\n", why.c_str());
    return code;
}

int main(int argc, char** argv)
{
    HackArgs args;
    std::string error;
    HackWindowKind kind;
    unsigned long id = 0;
    if (!ParseHackArgs(argc, argv, DefaultDelay, &args, &error))
        return Fail(ExitBadArgument, error);
    if (args.Help) {
        std::fputs(HackUsage(DefaultDelay).c_str(), stdout);
        return ExitOk;
    }
    if (args.Install || args.Uninstall)
        return InstallHack(args.Install);
    if (!ChooseHackWindow(args, std::getenv("XSCREENSAVER_WINDOW"), &kind, &id, &error))
        return Fail(ExitBadArgument, error);

    // On before the handlers go in: a stop that comes during start-up then
    // stays made, and every loop below ends at once.
    Running.store(true);
    PlatformCatchStopRequests(RequestStop);

    int32_t width = 0, height = 0;
    if (!PlatformOpenHackWindow(kind, id, &width, &height, &error))
        return Fail(ExitFailure, error);
    ScreenWidth = width;
    ScreenHeight = height;
    ScreenDpi = PlatformScreenDpi();
    // A window too narrow for a raster of its own gets the screen's shape
    // until it grows; the picture is still made to fill it.
    int32_t shapeWidth, shapeHeight;
    HackRasterShape(width, height, &shapeWidth, &shapeHeight);
    if (!CreateRaster(shapeWidth, shapeHeight, &error) && !CreateRaster(1920, 1080, &error)) {
        PlatformCloseHackWindow();
        return Fail(ExitFailure, error);
    }
    Randomize();
    if (!SetRasterFont("Times New Roman", ScreenDpi, &error)) {
        ReleaseRaster();
        PlatformCloseHackWindow();
        return Fail(ExitFailure, error);
    }

    Animating.store(false);
    std::thread animation(PacedAnimationThread, args.Delay, &StepCount);

    // The main thread serves the window: frames, size changes, its end.
    auto lastCount = std::chrono::steady_clock::now();
    uint64_t lastSteps = 0;
    while (Running.load()) {
        int32_t w = width, h = height;
        if (!PlatformServeHackWindow(10, &w, &h))
            break;  // the window has gone: end quietly
        if (w != width || h != height) {
            width = w;
            height = h;
            int32_t shapeWidth, shapeHeight;
            HackRasterShape(width, height, &shapeWidth, &shapeHeight);
            ReshapeAtNextScene(shapeWidth, shapeHeight);
        }
        const auto now = std::chrono::steady_clock::now();
        if (args.Fps && now - lastCount >= std::chrono::seconds(1)) {
            // Steps counted over the last second of wall time.
            const uint64_t steps = StepCount.load();
            const double seconds = std::chrono::duration<double>(now - lastCount).count();
            char text[64];
            std::snprintf(text, sizeof text, "%.1f steps/s", double(steps - lastSteps) / seconds);
            PlatformSetHackOverlay(text);
            lastSteps = steps;
            lastCount = now;
        }
    }

    RequestStop();
    animation.join();
    BlockList.clear();
    ReleaseRaster();
    PlatformCloseFont();
    PlatformCloseHackWindow();
    return ExitOk;
}
