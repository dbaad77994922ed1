// Start-up: the window, the raster, the generator, the font and the flags;
// then the animation thread, the first scene, and the message loop.
#include <cstdio>
#include <string>

#include "animation/animation.h"
#include "common/random.h"
#include "common/state.h"
#include "platform/display.h"
#include "platform/process.h"
#include "platform/surface.h"
#include "scene/scene.h"
#include "shell/shell.h"

std::atomic<bool> StopSignalled{false};

static void OnStopRequest()
{
    RequestStop();
    StopSignalled.store(true);
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

int StartUp()
{
    // On before stop requests are caught: one that comes during start-up then
    // stays made, and every pause and loop below ends at once.
    Running.store(true);
    PlatformCatchStopRequests(OnStopRequest);
    std::string error;
    if (!PlatformOpenWindow(WindowClassName, &ScreenWidth, &ScreenHeight, &error)) {
        std::fprintf(stderr, "glyphfall: %s\n", error.c_str());
        return 1;
    }
    WindowProc(PlatformEvent{EventCreate, ButtonOther, 0, 0});
    ScreenDpi = PlatformScreenDpi();

    if (!CreateRaster(ScreenWidth, ScreenHeight, &error)) {
        ApplicationError("EOutOfResources", error);
        PlatformCloseWindow();
        return 1;
    }
    Randomize();
    if (!SetRasterFont("Times New Roman", ScreenDpi, &error)) {
        std::fprintf(stderr, "glyphfall: %s\n", error.c_str());
        ReleaseRaster();
        PlatformCloseWindow();
        return 1;
    }

    Animating.store(false);
    AnimationWorker = std::thread(AnimationThread);

    // The first scene is built here; input waits in the queue meanwhile. The
    // animation thread only idles until the scene hands it the raster.
    NewScene();

    PlatformEvent event;
    while (PlatformGetEvent(&event)) {
        if (StopSignalled.exchange(false))
            PlatformPostEvent(EventDestroy);
        WindowProc(event);
    }

    // Shutdown joined the thread already; this covers a loop left otherwise.
    RequestStop();
    if (AnimationWorker.joinable())
        AnimationWorker.join();
    BlockList.clear();
    BlockList.shrink_to_fit();
    ReleaseRaster();
    PlatformCloseFont();
    PlatformCloseWindow();
    return 0;
}

int main()
{
    // The command line is ignored.
    return StartUp();
}
