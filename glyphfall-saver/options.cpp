// glyphfall-saver's command line: strict whole numbers and one-line messages
// that name the argument at fault.
#include "glyphfall-saver/options.h"

#include <cstring>

#include "shell/command_line.h"
#include "shell/shell.h"

std::string SaverUsage()
{
    return "usage: glyphfall-saver [--delay MICROSECONDS] [--fps] [--idle SECONDS]\n"
           "glyphfall as the screen saver of a Wayland desktop with layer-shell (sway, Hyprland,\n"
           "KDE Plasma, river, labwc, Wayfire): a scene of its own on every output, above panels\n"
           "and full-screen windows, until a key, a click, or a move of the pointer more than " +
           std::to_string(WakeDistance) +
           "\npixels from where it rested.\n"
           "  --delay N     microseconds between animation steps (default " + std::to_string(DefaultDelay) +
           ", 0 as fast as possible, at most " + std::to_string(MaxDelay) +
           ")\n"
           "  --fps         show the animation steps per second\n"
           "  --idle S      wait for S seconds without input (1 to " + std::to_string(MaxIdleSeconds) +
           "), show the saver until\n"
           "                the next input, and wait again; only SIGTERM, SIGINT or the compositor's end end it\n"
           "Exit code 0 when input, SIGTERM or SIGINT ends it; 1 with one line when the compositor\n"
           "has no layer-shell (GNOME, weston) or goes away; 2 on a bad argument.\n";
}

bool ParseSaverArgs(int argc, char** argv, SaverArgs* out, std::string* error)
{
    out->Delay = DefaultDelay;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* bare = arg[0] == '-' ? (arg[1] == '-' ? arg + 2 : arg + 1) : nullptr;
        const char* eq = bare ? std::strchr(bare, '=') : nullptr;
        const std::string name = !bare ? "" : eq ? std::string(bare, eq) : std::string(bare);
        const bool takesValue = name == "delay" || name == "idle";
        if (name.empty()) {
            *error = "unexpected argument " + Quoted(arg) + " (see --help)";
            return false;
        }
        if (!takesValue && eq) {
            *error = "option " + Quoted(arg) + " takes no value";
            return false;
        }
        if (name == "fps") {
            out->Fps = true;
        } else if (name == "help" || name == "h") {
            out->Help = true;
        } else if (takesValue) {
            const char* value = eq ? eq + 1 : (i + 1 < argc ? argv[++i] : nullptr);
            const uint64_t least = name == "idle", most = name == "idle" ? MaxIdleSeconds : MaxDelay;
            uint64_t number = 0;
            if (!value) {
                *error = "--" + name + " needs a value";
                return false;
            }
            if (ParseWhole(value, 10, most, &number) != NumberOk || number < least) {
                *error = "--" + name + " " + Quoted(value) + ": expected " +
                         (name == "idle" ? "seconds" : "microseconds") + " from " + std::to_string(least) +
                         " to " + std::to_string(most);
                return false;
            }
            (name == "idle" ? out->IdleSeconds : out->Delay) = uint32_t(number);
        } else {
            *error = "unknown option " + Quoted(arg) + " (see --help)";
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
