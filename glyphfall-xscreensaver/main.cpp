// glyphfall-xscreensaver: glyphfall's scenes as an XScreenSaver hack. The
// core is glyphfall's own; only the pacing differs: a --delay between
// animation steps, so that a scene's motion fills its minute instead of
// being over within a second or two. XScreenSaver owns the input and ends
// the hack with SIGTERM.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "glyphfall-xscreensaver/options.h"
#include "glyphfall-xscreensaver/xscreensaver_file.h"
#include "shell/command_line.h"
#include "shell/shell.h"

int main(int argc, char** argv)
{
    HackArgs args;
    std::string error;
    WindowPlace place;
    if (!ParseHackArgs(argc, argv, &args, &error) ||
        (!args.Help && !args.Install && !args.Uninstall &&
         !ChooseHackWindow(args, std::getenv("XSCREENSAVER_WINDOW"), &place, &error))) {
        std::fprintf(stderr, "glyphfall-xscreensaver: %s\n", error.c_str());
        return ExitBadArgument;
    }
    if (args.Help) {
        std::fputs(HackUsage().c_str(), stdout);
        return ExitOk;
    }
    if (args.Install || args.Uninstall)
        return InstallHack(args.Install);
    Program hack = ScreenSaver("glyphfall-xscreensaver", args.Delay, args.Fps);
    hack.Place = place;
    return StartUp(hack);
}
