// glyphfall-xscreensaver's command line: strict whole numbers and one-line
// messages that name the argument at fault.
#include "glyphfall-xscreensaver/options.h"
#include "glyphfall-render/options.h"

#include <cstring>

std::string HackUsage(uint32_t defaultDelay)
{
    return "usage: glyphfall-xscreensaver [--window-id ID | --root] [--delay MICROSECONDS] [--fps]\n"
           "       glyphfall-xscreensaver --install | --uninstall\n"
           "glyphfall as an XScreenSaver hack: draws in --window-id ID (decimal or 0x hexadecimal),\n"
           "else in the window XScreenSaver names (XSCREENSAVER_WINDOW), else on the root window\n"
           "with --root, else in a window of its own.\n"
           "  --delay N     microseconds between animation steps (default " + std::to_string(defaultDelay) +
           ", 0 as fast as possible, at most " + std::to_string(HackMaxDelay) + ")\n"
           "  --fps         show the animation steps per second\n"
           "  --install     add \"Glyphfall\" to the programs of ~/.xscreensaver (a backup kept)\n"
           "  --uninstall   take it out again\n"
           "Ends on SIGTERM or SIGINT (exit code 0); exit code 2 on a bad argument.\n";
}

// Arguments in messages are quoted as glyphfall-render quotes them.
static std::string Quoted(const char* text) { return RenderQuoted(text); }

// Digits of the given base only: no sign, no spaces, nothing after them.
static bool ParseDigits(const char* text, int base, uint64_t max, uint64_t* value)
{
    if (*text == '\0')
        return false;
    uint64_t v = 0;
    for (const char* p = text; *p; ++p) {
        int digit;
        if (*p >= '0' && *p <= '9')
            digit = *p - '0';
        else if (base == 16 && *p >= 'a' && *p <= 'f')
            digit = *p - 'a' + 10;
        else if (base == 16 && *p >= 'A' && *p <= 'F')
            digit = *p - 'A' + 10;
        else
            return false;
        v = v * uint64_t(base) + uint64_t(digit);
        if (v > max)
            return false;
    }
    *value = v;
    return true;
}

bool ParseWindowId(const char* text, unsigned long* id)
{
    uint64_t v = 0;
    // X resource ids have 29 bits.
    const bool hex = text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    if (!ParseDigits(hex ? text + 2 : text, hex ? 16 : 10, 0x1FFFFFFF, &v) || v == 0)
        return false;
    *id = static_cast<unsigned long>(v);
    return true;
}

bool ParseHackArgs(int argc, char** argv, uint32_t defaultDelay, HackArgs* out, std::string* error)
{
    out->Delay = defaultDelay;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        // One dash or two, as XScreenSaver's hacks take them.
        const char* bare = arg[0] == '-' ? (arg[1] == '-' ? arg + 2 : arg + 1) : nullptr;
        if (!bare || *bare == '\0') {
            *error = "unexpected argument " + Quoted(arg) + " (see --help)";
            return false;
        }
        const char* eq = std::strchr(bare, '=');
        const std::string name = eq ? std::string(bare, eq) : std::string(bare);
        const bool takesValue = name == "window-id" || name == "delay";
        if (!takesValue && eq) {
            *error = "option " + Quoted(arg) + " takes no value";
            return false;
        }
        if (name == "root") {
            out->Root = true;
        } else if (name == "fps") {
            out->Fps = true;
        } else if (name == "help" || name == "h") {
            out->Help = true;
        } else if (name == "install") {
            out->Install = true;
        } else if (name == "uninstall") {
            out->Uninstall = true;
        } else if (takesValue) {
            const char* value = eq ? eq + 1 : (i + 1 < argc ? argv[++i] : nullptr);
            if (!value) {
                *error = "--" + name + " needs a value";
                return false;
            }
            uint64_t delay = 0;
            if (name == "delay") {
                if (!ParseDigits(value, 10, HackMaxDelay, &delay)) {
                    *error = "--delay " + Quoted(value) + ": expected microseconds from 0 to " +
                             std::to_string(HackMaxDelay);
                    return false;
                }
                out->Delay = uint32_t(delay);
            } else {
                if (!ParseWindowId(value, &out->WindowId)) {
                    *error = "--window-id " + Quoted(value) + ": expected a window id, decimal or 0x hexadecimal";
                    return false;
                }
                out->HasWindowId = true;
            }
        } else {
            *error = "unknown option " + Quoted(arg) + " (see --help)";
            return false;
        }
    }
    if (out->Install && out->Uninstall) {
        *error = "--install and --uninstall exclude each other";
        return false;
    }
    return true;
}

bool ChooseHackWindow(const HackArgs& args, const char* fromDaemon, HackWindowKind* kind, unsigned long* id,
                      std::string* error)
{
    if (args.HasWindowId) {
        *kind = HackWindowGiven;
        *id = args.WindowId;
    } else if (fromDaemon && *fromDaemon) {
        if (!ParseWindowId(fromDaemon, id)) {
            *error = "XSCREENSAVER_WINDOW " + Quoted(fromDaemon) + " is not a window id";
            return false;
        }
        *kind = HackWindowGiven;
    } else {
        *kind = args.Root ? HackWindowRoot : HackWindowOwn;
    }
    return true;
}

void HackRasterShape(int32_t width, int32_t height, int32_t* shapeWidth, int32_t* shapeHeight)
{
    *shapeWidth = width;
    *shapeHeight = height;
    if (height <= 0 || int64_t(width) * 9 <= int64_t(height) * 32)
        return;
    // Exactly 32:9, as near the window's height as whole multiples allow:
    // the raster's width depends on the ratio alone.
    const int32_t times = height / 9 > 0 ? height / 9 : 1;
    *shapeWidth = 32 * times;
    *shapeHeight = 9 * times;
}
