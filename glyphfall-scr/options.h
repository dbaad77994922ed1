// The screen saver's command line, in the conventions Windows uses to start
// screen savers, and the limits of its saved settings. Kept apart from the
// program so that it touches no window and no program-wide state.
#pragma once
#include <cstdint>
#include <string>

#include "shell/command_line.h"

// The settings slider's range, the hack's: 0 (fastest) to 0.1 s per step.
constexpr uint32_t SaverSliderDelay = 100000;

enum SaverMode {
    SaverShow,       // /s: full screen until the user comes back
    SaverPreview,    // /p HWND: inside the settings dialog's little monitor
    SaverSettings,   // /c, /c:HWND, or no argument at all
};

struct SaverArgs {
    SaverMode Mode = SaverSettings;
    uint64_t Window = 0;   // /p's window (required) or /c's owner (0: none)
};

// Reads argv[1..argc-1]: one of /s, /p, /c, with '-' for '/' and either case,
// a window handle in decimal after ':' or as the next argument. Returns false
// with one sentence in *error for anything else.
bool ParseSaverArgs(int argc, const char* const* argv, SaverArgs* out, std::string* error);

// A delay read from the registry, where anyone may have written anything:
// within what the hack accepts, never trusted beyond it.
inline uint32_t ClampSavedDelay(uint64_t stored)
{
    return stored > MaxDelay ? MaxDelay : uint32_t(stored);
}

// What the message box for a wrong command line says.
constexpr const char* SaverUsage =
    "glyphfall.scr accepts one of:\n"
    "/s - show the screen saver\n"
    "/p HWND - show a preview in the window HWND\n"
    "/c, /c:HWND or nothing - change the settings\n"
    "in upper or lower case, with - for /, and HWND after a colon or a space.";
