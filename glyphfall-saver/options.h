// The command line of glyphfall-saver (options with one dash or two, values
// after '=' or as the next argument, as the XScreenSaver hack takes them),
// and the variable by which its first process tells each scene's process
// its output. Kept apart from the program: no display, no program-wide state.
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>

struct SaverArgs {
    uint32_t Delay = 0;         // --delay: microseconds between animation steps
    bool Fps = false;           // --fps: show the step rate
    uint32_t IdleSeconds = 0;   // --idle: wait for this long without input first; 0: show at once, once
    bool Help = false;          // --help: print the usage and do nothing else
};

// The longest --idle: a day.
constexpr uint32_t MaxIdleSeconds = 86400;

// Reads argv[1..argc-1] into *out (Delay starts at the screen savers'
// default). Returns false with one line (no newline) in *error.
bool ParseSaverArgs(int argc, char** argv, SaverArgs* out, std::string* error);

// The usage text, several lines ending in a newline.
std::string SaverUsage();

// Set by the first process for each scene's process: "PID:OUTPUT", its own
// process id and the output's id (a Wayland registry name, which the
// compositor never gives to another output while it runs, unlike a
// connector's name).
constexpr const char* SceneVariable = "GLYPHFALL_SAVER_SCENE";

// The output's id from the variable's value; false unless it is exactly two
// whole numbers, the first parent (the process that must have set it), the
// second an id from 1 to 2^32 - 1.
bool ParseSceneVariable(const char* value, pid_t parent, uint32_t* output);
