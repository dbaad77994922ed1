// glyphfall-xscreensaver's command line: strict whole numbers and one-line
// messages that name the argument at fault.
#include "glyphfall-xscreensaver/options.h"

#include <cstring>

#include "shell/command_line.h"

std::string HackUsage()
{
    return "usage: glyphfall-xscreensaver [--window-id ID | --root] [--delay MICROSECONDS] [--fps]\n"
           "       glyphfall-xscreensaver --install | --uninstall\n"
           "glyphfall as an XScreenSaver hack: draws in --window-id ID (decimal or 0x hexadecimal),\n"
           "else in the window XScreenSaver names (XSCREENSAVER_WINDOW), else on the root window\n"
           "with --root, else in a window of its own.\n"
           "  --delay N     microseconds between animation steps (default " + std::to_string(DefaultDelay) +
           ", 0 as fast as possible, at most " + std::to_string(MaxDelay) + ")\n"
           "  --fps         show the animation steps per second\n"
           "  --install     add \"Glyphfall\" to the programs of ~/.xscreensaver (a backup kept)\n"
           "  --uninstall   take it out again\n"
           "Ends on SIGTERM or SIGINT (exit code 0); exit code 2 on a bad argument.\n";
}

bool ParseWindowId(const char* text, unsigned long* id)
{
    uint64_t v = 0;
    // X resource ids have 29 bits.
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (ParseWhole(hex ? text + 2 : text, hex ? 16 : 10, 0x1FFFFFFF, &v) != NumberOk || v == 0)
        return false;
    *id = static_cast<unsigned long>(v);
    return true;
}

bool ParseHackArgs(int argc, char** argv, HackArgs* out, std::string* error)
{
    out->Delay = DefaultDelay;
    for (int i = 1; i < argc; ++i) {
        Option o;
        if (!ReadOption(argc, argv, &i, {"window-id", "delay"}, &o, error))
            return false;
        if (o.Name == "root") {
            out->Root = true;
        } else if (o.Name == "fps") {
            out->Fps = true;
        } else if (o.Name == "help" || o.Name == "h") {
            out->Help = true;
        } else if (o.Name == "install") {
            out->Install = true;
        } else if (o.Name == "uninstall") {
            out->Uninstall = true;
        } else if (o.Name == "delay") {
            if (!ReadDelay(o.Value, &out->Delay, error))
                return false;
        } else if (o.Name == "window-id") {
            if (!ParseWindowId(o.Value, &out->WindowId)) {
                *error = "--window-id " + Quoted(o.Value) + ": expected a window id, decimal or 0x hexadecimal";
                return false;
            }
            out->HasWindowId = true;
        } else {
            *error = UnknownOption(argv[i]);
            return false;
        }
    }
    if (out->Install && out->Uninstall) {
        *error = "--install and --uninstall exclude each other";
        return false;
    }
    return true;
}

bool ChooseHackWindow(const HackArgs& args, const char* fromDaemon, WindowPlace* place, std::string* error)
{
    unsigned long id = 0;
    if (args.HasWindowId) {
        *place = WindowPlace{PlaceGiven, args.WindowId};
    } else if (fromDaemon && *fromDaemon) {
        if (!ParseWindowId(fromDaemon, &id)) {
            *error = "XSCREENSAVER_WINDOW " + Quoted(fromDaemon) + " is not a window id";
            return false;
        }
        *place = WindowPlace{PlaceGiven, id};
    } else {
        *place = WindowPlace{args.Root ? PlaceRoot : PlaceOwn};
    }
    return true;
}
