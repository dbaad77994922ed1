// glyphfall-saver's command line: strict whole numbers and one-line messages
// that name the argument at fault.
#include "glyphfall-saver/options.h"

#include <cstring>

#include "shell/command_line.h"
#include "shell/shell.h"

std::string SaverUsage()
{
    return "usage: glyphfall-saver [--delay MICROSECONDS] [--fps] [--idle SECONDS]\n"
           "glyphfall as a screen saver: a scene of its own on every output of a Wayland desktop\n"
           "with layer-shell (sway, Hyprland, KDE Plasma, river, labwc, Wayfire), else on every\n"
           "monitor of the X server DISPLAY names, above every window, until a key, a click, or a\n"
           "move of the pointer more than " + std::to_string(WakeDistance) + " pixels from where it rested.\n"
           "  --delay N     microseconds between animation steps (default " + std::to_string(DefaultDelay) +
           ", 0 as fast as possible, at most " + std::to_string(MaxDelay) +
           ")\n"
           "  --fps         show the animation steps per second\n"
           "  --idle S      wait for S seconds without input (1 to " + std::to_string(MaxIdleSeconds) +
           "), show the saver until\n"
           "                the next input, and wait again; only SIGTERM, SIGINT or the compositor's end end it\n"
           "                (Wayland only: on X11, XScreenSaver owns idleness)\n"
           "Exit code 0 when input, SIGTERM or SIGINT ends it; 1 with one line when neither window\n"
           "system can be used or the one in use goes away; 2 on a bad argument.\n";
}

bool ParseSaverArgs(int argc, char** argv, SaverArgs* out, std::string* error)
{
    out->Delay = DefaultDelay;
    for (int i = 1; i < argc; ++i) {
        Option o;
        uint64_t seconds = 0;
        if (!ReadOption(argc, argv, &i, {"delay", "idle"}, &o, error))
            return false;
        if (o.Name == "fps") {
            out->Fps = true;
        } else if (o.Name == "help" || o.Name == "h") {
            out->Help = true;
        } else if (o.Name == "delay") {
            if (!ReadDelay(o.Value, &out->Delay, error))
                return false;
        } else if (o.Name == "idle") {
            if (ParseWhole(o.Value, 10, MaxIdleSeconds, &seconds) != NumberOk || seconds < 1) {
                *error = "--idle " + Quoted(o.Value) + ": expected seconds from 1 to " + std::to_string(MaxIdleSeconds);
                return false;
            }
            out->IdleSeconds = uint32_t(seconds);
        } else {
            *error = UnknownOption(argv[i]);
            return false;
        }
    }
    return true;
}

bool ParseSceneVariable(const char* value, pid_t parent, uint32_t* output)
{
    const char* colon = std::strchr(value, ':');
    uint64_t pid = 0, id = 0;
    if (!colon || ParseWhole(value, colon, 10, UINT32_MAX, &pid) != NumberOk || pid != uint64_t(parent) ||
        ParseWhole(colon + 1, 10, UINT32_MAX, &id) != NumberOk || id == 0)
        return false;
    *output = uint32_t(id);
    return true;
}
