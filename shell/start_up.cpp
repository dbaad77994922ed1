// Start-up, the message loop and the end, for every program: the window, the
// raster, the generator, the font and the flags; then the animation thread,
// the first scene and the loop; then the join and the release. What differs
// between programs comes in the Program record and from the platform files
// each one links.
//
// The three stages are kept apart (StartScenes, ServeEvent, EndScenes) so
// that a platform that calls the program once per frame, and where nothing
// may block, can run the same stages without a loop of its own.
#include <chrono>
#include <cstdio>
#include <string>

#include "animation/animation.h"
#include "common/random.h"
#include "common/state.h"
#include "platform/display.h"
#include "platform/process.h"
#include "platform/surface.h"
#include "scene/scene.h"
#include "shell/command_line.h"
#include "shell/shell.h"

Program ThisProgram;
std::atomic<bool> StopSignalled{false};

static void OnStopRequest()
{
    RequestStop();
    StopSignalled.store(true);
}

// One line on stderr, under the program's name.
static void Complain(const std::string& what)
{
    std::fprintf(stderr, "%s: %s\n", ThisProgram.Name, what.c_str());
    std::fflush(stderr);
}

// The desktop's error box for a raster that cannot be made, in the form
// users of that kind of desktop know: kind, module, code offset, reason.
static void ApplicationError(const char* kind, std::string reason)
{
    const uintptr_t offset = PlatformCodeOffset(reinterpret_cast<const void*>(&CreateRaster));
    if (reason.empty())
        reason = "Out of system resources";
    if (reason.back() != '.')
        reason += '.';
    char text[1024];
    std::snprintf(text, sizeof text, "Exception %s in module %s at %08lX.\n%s", kind,
                  PlatformProgramName(), static_cast<unsigned long>(offset & 0xFFFFFFFFu),
                  reason.c_str());
    // The program is ending: while the box waits for its OK, SIGINT and
    // SIGTERM end the process at once instead of only setting a flag that
    // no loop will read.
    PlatformDefaultStopRequests();
    PlatformShowError("Application Error", text);
}

void RasterShape(ShapeRule rule, int32_t width, int32_t height, int32_t* shapeWidth, int32_t* shapeHeight)
{
    *shapeWidth = width;
    *shapeHeight = height;
    if (rule != ShapeFitted || height <= 0 || int64_t(width) * 9 <= int64_t(height) * 32)
        return;
    // Exactly 32:9, as near the window's height as whole multiples allow:
    // the raster's width depends on the ratio alone.
    const int32_t times = height / 9 > 0 ? height / 9 : 1;
    *shapeWidth = 32 * times;
    *shapeHeight = 9 * times;
}

SetUpResult SetUpScenes(const Program& program, std::string* error)
{
    int32_t width, height;
    RasterShape(program.Shape, ScreenWidth, ScreenHeight, &width, &height);
    if (!CreateRaster(width, height, error) && !(program.Shape == ShapeFitted && CreateRaster(1920, 1080, error)))
        return SetUpNoRaster;
    Randomize();
    RandSeed += program.SeedOffset;
    if (!SetRasterFont("Times New Roman", ScreenDpi, error)) {
        ReleaseRaster();
        return SetUpNoFont;
    }
    return SetUpDone;
}

void ReleaseScenes()
{
    BlockList.clear();
    BlockList.shrink_to_fit();
    ReleaseRaster();
    PlatformCloseFont();
}

// The steps-per-second line: counted from the first step on, so that the
// letter's still second never shows as a rate of nothing, then renewed once
// a second.
static struct {
    bool Counting = false;                             // the first step has been seen
    std::chrono::steady_clock::time_point Since;       // when the steps below were counted
    uint64_t Steps = 0;
} StepRate;

static void ShowStepRate()
{
    using Clock = std::chrono::steady_clock;
    const auto now = Clock::now();
    const uint64_t steps = StepCount.load();
    if (!StepRate.Counting) {
        StepRate = {steps > 0, now, steps};
        return;
    }
    if (now - StepRate.Since < std::chrono::seconds(1))
        return;
    // Steps counted over the last second of wall time.
    char text[64];
    std::snprintf(text, sizeof text, "%.1f steps/s",
                  double(steps - StepRate.Steps) / std::chrono::duration<double>(now - StepRate.Since).count());
    PlatformSetOverlay(text);
    StepRate = {true, now, steps};
}

// Up to the message loop; an exit code when the program cannot go on.
static int StartScenes()
{
    // On before stop requests are caught: one that comes during start-up then
    // stays made, and every pause and loop below ends at once.
    Running.store(true);
    PlatformCatchStopRequests(OnStopRequest);
    std::string error;
    if (!PlatformOpenWindow(ThisProgram.Place, WindowClassName, &ScreenWidth, &ScreenHeight, &error)) {
        Complain(error);
        return ExitFailure;
    }
    WindowProc(PlatformEvent{EventCreate, ButtonOther, 0, 0});
    ScreenDpi = PlatformScreenDpi();
    switch (SetUpScenes(ThisProgram, &error)) {
    case SetUpDone:
        break;
    case SetUpNoRaster:
        if (ThisProgram.Shape == ShapeOfScreen)
            ApplicationError("EOutOfResources", error);
        else
            Complain(error);
        PlatformCloseWindow();
        return ExitFailure;
    case SetUpNoFont:
        Complain(error);
        PlatformCloseWindow();
        return ExitFailure;
    }

    Animating.store(false);
    StepCount.store(0);
    StepRate = {};
    AnimationWorker = std::thread(AnimationThread, !ThisProgram.FirstSceneOnMainThread,
                                  std::chrono::microseconds(ThisProgram.Delay));
    // Built here, input waits in the queue meanwhile; the animation thread
    // only idles until the scene hands it the raster.
    if (ThisProgram.FirstSceneOnMainThread)
        NewScene();
    return ExitOk;
}

// One event of the loop; false once the quit has come.
static bool ServeEvent()
{
    PlatformEvent event;
    if (!PlatformGetEvent(&event))
        return false;
    if (StopSignalled.exchange(false))
        PlatformPostEvent(EventDestroy);
    WindowProc(event);
    if (ThisProgram.ShowStepRate)
        ShowStepRate();
    return true;
}

static int EndScenes()
{
    // Shutdown joined the thread already; this covers a loop left otherwise.
    RequestStop();
    if (AnimationWorker.joinable())
        AnimationWorker.join();
    ReleaseScenes();
    PlatformCloseWindow();
    return ExitOk;
}

int StartUp(const Program& program)
{
    ThisProgram = program;
    if (const int code = StartScenes(); code != ExitOk)
        return code;
    while (ServeEvent()) {
    }
    return EndScenes();
}
