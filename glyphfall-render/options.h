// The command line of glyphfall-render. Parsing is kept apart from the rest
// of the tool so that it can be exercised on its own (fuzzing included): it
// touches no file and no program-wide state.
#pragma once
#include <cstdint>
#include <string>

constexpr int32_t RenderMaxScreenSide = 16384;
constexpr int RenderMaxDpi = 1200;
constexpr uint32_t RenderMaxEvery = 1000000;
constexpr int RenderMaxScale = 8;

struct RenderArgs {
    int32_t ScreenWidth = 1920;   // --screen WxH, each side 1..RenderMaxScreenSide
    int32_t ScreenHeight = 1080;
    int Dpi = 96;                 // --dpi, 1..RenderMaxDpi: the letter's em in pixels
    uint32_t Seed = 0;            // --seed: the generator's seed instead of the clock
    uint32_t Steps = 0;           // --steps: animation steps after the scene is built
    std::string TwoTonePath;      // --twotone: PNG of the raster after the two-tone conversion ("" for none)
    std::string FramePath;        // --frame: PNG of the raster at the end ("" for none)
    std::string BlocksPath;       // --blocks: CSV of the BlockList at the end ("" for none)
    std::string WebpPath;         // --webp: animated WebP of the scene ("" for none)
    uint32_t Every = 10;          // --every: steps between the animation's frames, 1..RenderMaxEvery
    int Scale = 1;                // --scale: the animation's pixels per raster pixel, 1..RenderMaxScale
    bool Help = false;            // --help or -h: print the usage and do nothing else
};

// Reads argv[1..argc-1] into *out, which starts from the defaults above.
// Options take their value as the next argument or after '='. A repeated
// option keeps its last value. Returns false with one line (no newline, the
// offending argument quoted with control characters escaped) in *error.
bool ParseRenderArgs(int argc, char** argv, RenderArgs* out, std::string* error);

// The usage text, several lines ending in a newline.
extern const char* const RenderUsage;
