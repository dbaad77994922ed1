// The command line of glyphfall-xscreensaver, in XScreenSaver's conventions
// for hacks (options with one dash or two), and the choices made from it.
// Kept apart from the program so that it touches no display and no
// program-wide state.
#pragma once
#include <cstdint>
#include <string>

#include "platform/saver_window.h"

constexpr uint32_t HackMaxDelay = 10000000;  // ten seconds between steps is already a still picture

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

// Reads argv[1..argc-1] into *out (Delay starts at defaultDelay). Values
// follow their option as the next argument or after '='. Returns false with
// one line (no newline) in *error.
bool ParseHackArgs(int argc, char** argv, uint32_t defaultDelay, HackArgs* out, std::string* error);

// A window id as XScreenSaver writes it: decimal, or hexadecimal after 0x.
// Returns false for anything else, zero included.
bool ParseWindowId(const char* text, unsigned long* id);

// The usage text, several lines ending in a newline.
std::string HackUsage(uint32_t defaultDelay);

// The window to draw in: --window-id, else fromDaemon (XSCREENSAVER_WINDOW's
// value, null when unset), else the root with --root, else an own window.
// Returns false with one line when the daemon's value is no window id.
bool ChooseHackWindow(const HackArgs& args, const char* fromDaemon, HackWindowKind* kind, unsigned long* id,
                      std::string* error);

// The screen shape the raster is built for in a width x height window: the
// window's own, but never wider than 32:9, so that a flat window costs no
// more memory and time than a 32:9 screen of its height; the picture is then
// stretched over the window. Shapes too narrow for any raster pass through.
void HackRasterShape(int32_t width, int32_t height, int32_t* shapeWidth, int32_t* shapeHeight);
