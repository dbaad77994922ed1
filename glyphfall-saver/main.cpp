// glyphfall-saver: glyphfall as the screen saver of a Wayland desktop, paced
// as the XScreenSaver hack is. Started by the user (or an idle daemon) it
// runs the first process (scenes.cpp), which starts this program again for
// each output; started so, with its output in SceneVariable, it runs that
// output's scene on the shell's one lifecycle.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "glyphfall-saver/options.h"
#include "glyphfall-saver/scenes.h"
#include "platform/wayland/wayland.h"
#include "shell/command_line.h"
#include "shell/shell.h"

// One output's scene until its end: input ends it (exit 0), as does the
// output's going (ExitOutputGone).
static int RunScene(const SaverArgs& args, uint32_t output)
{
    Program saver = ScreenSaver("glyphfall-saver", args.Delay, args.Fps);
    saver.Place = WindowPlace{PlaceOutput, output};
    // Scenes started in the same millisecond still differ.
    saver.SeedOffset = output * 0x9E3779B9u;
    const int code = StartUp(saver);
    return WaylandOutputGone() ? ExitOutputGone : code;
}

int main(int argc, char** argv)
{
    SaverArgs args;
    std::string error;
    if (!ParseSaverArgs(argc, argv, &args, &error)) {
        std::fprintf(stderr, "glyphfall-saver: %s\n", error.c_str());
        return ExitBadArgument;
    }
    if (args.Help) {
        std::fputs(SaverUsage().c_str(), stdout);
        return ExitOk;
    }
    const char* scene = std::getenv(SceneVariable);
    if (!scene)
        return RunSaver(args, argv);
    uint32_t output = 0;
    if (!ParseSceneVariable(scene, getppid(), &output)) {
        std::fprintf(stderr, "glyphfall-saver: %s is set, but not by this process's parent glyphfall-saver\n",
                     SceneVariable);
        return ExitBadArgument;
    }
    return RunScene(args, output);
}
