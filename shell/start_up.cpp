// Start-up: the window, the raster, the generator, the font and the flags;
// then the animation thread, the first scene, and the message loop.
#include <dlfcn.h>
#include <errno.h>
#include <csignal>
#include <cstdio>
#include <string>

#include "animation/animation.h"
#include "common/random.h"
#include "common/state.h"
#include "scene/scene.h"
#include "shell/shell.h"

std::atomic<bool> StopSignalled{false};

static void OnStopSignal(int)
{
    RequestStop();
    StopSignalled.store(true);
}

static void InstallSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// The desktop's error box for a raster that cannot be made, in the form
// users of that kind of desktop know: kind, module, code offset, reason.
static void ApplicationError(const char* kind, std::string reason)
{
    Dl_info info = {};
    uintptr_t offset = 0;
    if (dladdr(reinterpret_cast<void*>(&CreateRaster), &info) && info.dli_fbase)
        offset = reinterpret_cast<uintptr_t>(&CreateRaster) - reinterpret_cast<uintptr_t>(info.dli_fbase);
    if (reason.empty())
        reason = "Out of system resources";
    if (reason.back() != '.')
        reason += '.';
    char text[1024];
    std::snprintf(text, sizeof text, "Exception %s in module %s at %08lX.\n%s", kind,
                  program_invocation_short_name, static_cast<unsigned long>(offset & 0xFFFFFFFFu),
                  reason.c_str());
    // The program is ending: while the box waits for its OK, SIGINT and
    // SIGTERM end the process at once instead of only setting a flag that
    // no loop will read.
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    PlatformShowError("Application Error", text);
}

int StartUp()
{
    InstallSignalHandlers();
    std::string error;
    if (!PlatformOpenWindow("MyWKlass", &ScreenWidth, &ScreenHeight, &error)) {
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

    Running.store(true);
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
