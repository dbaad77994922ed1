// The command line of glyphfall-xscreensaver, in XScreenSaver's conventions
// for hacks (options with one dash or two), and the choices made from it.
// Kept apart from the program so that it touches no display and no
// program-wide state.
#pragma once
#include <cstdint>
#include <string>

#include "platform/window.h"

struct HackArgs {
    bool HasWindowId = false;   // --window-id given
    unsigned long WindowId = 0; // its value
    bool Root = false;          // --root: draw on the (virtual) root window
    uint32_t Delay = 0;         // --delay: microseconds between animation steps
    bool Fps = false;           // --fps: show the step rate
    bool Help = false;          // --help: print the usage and do nothing else
    bool Install = false;       // --install: add the hack to ~/.xscreensaver and end
    bool Uninstall = false;     // --uninstall: take it out again and end
};

// Reads argv[1..argc-1] into *out (Delay starts at the screen savers'
// default). Values follow their option as the next argument or after '='.
// Returns false with one line (no newline) in *error.
bool ParseHackArgs(int argc, char** argv, HackArgs* out, std::string* error);

// A window id as XScreenSaver writes it: decimal, or hexadecimal after 0x.
// Returns false for anything else, zero included.
bool ParseWindowId(const char* text, unsigned long* id);

// The usage text, several lines ending in a newline.
std::string HackUsage();

// The window to draw in: --window-id, else fromDaemon (XSCREENSAVER_WINDOW's
// value, null when unset), else the root with --root, else an own window.
// Returns false with one line when the daemon's value is no window id.
bool ChooseHackWindow(const HackArgs& args, const char* fromDaemon, WindowPlace* place, std::string* error);
