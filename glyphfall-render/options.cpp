// glyphfall-render's command line: strict whole numbers, sizes as WxH, and
// one-line messages that say which argument is wrong and what would do.
#include "glyphfall-render/options.h"

#include <cstring>

#include "shell/command_line.h"

const char* const RenderUsage =
    "usage: glyphfall-render [--screen WxH] [--dpi N] [--seed N] [--steps N]\n"
    "                        [--twotone FILE.png] [--frame FILE.png] [--blocks FILE.csv]\n"
    "                        [--webp FILE.webp [--every K] [--scale N]]\n"
    "Builds one glyphfall scene without a window and writes it to files.\n"
    "  --screen WxH    screen size the raster is shaped for (default 1920x1080, at most 16384 a side)\n"
    "  --dpi N         logical pixels per inch, the letter's em in pixels (default 96, 1..1200)\n"
    "  --seed N        generator seed, 0..4294967295 (default 0)\n"
    "  --steps N       animation steps after the scene is built (default 0)\n"
    "  --twotone FILE  PNG of the two-tone letter\n"
    "  --frame FILE    PNG of the raster at the end\n"
    "  --blocks FILE   CSV of the blocks at the end, reals as C99 hexadecimal literals\n"
    "  --webp FILE     animated WebP: the two-tone letter for a second, then a frame every K steps (25 a second)\n"
    "  --every K       steps between the animation's frames (default 10, at most 1000000)\n"
    "  --scale N       the animation's pixels per raster pixel, nearest neighbour (default 1, at most 8)\n"
    "Prints 'letter 0xNN U+04NN blocks N'. Exit code 2 on a bad argument or an unwritable file.\n";

// One side of WxH: an optional '-' (so that a negative size gets its own
// message), then digits.
static NumberResult ParseSide(const char* begin, const char* end, bool* negative, uint64_t* value)
{
    *negative = begin != end && *begin == '-';
    return ParseWhole(begin + (*negative ? 1 : 0), end, 10, RenderMaxScreenSide, value);
}

static bool ParseScreen(const char* text, RenderArgs* out, std::string* error)
{
    const char* end = text + std::strlen(text);
    const char* x = std::strpbrk(text, "xX");
    bool negW = false, negH = false;
    uint64_t w = 0, h = 0;
    const NumberResult rw = x ? ParseSide(text, x, &negW, &w) : NumberMalformed;
    const NumberResult rh = x ? ParseSide(x + 1, end, &negH, &h) : NumberMalformed;
    if (rw == NumberMalformed || rh == NumberMalformed) {
        *error = "--screen " + Quoted(text) + ": expected WIDTHxHEIGHT in pixels, such as 1920x1080";
        return false;
    }
    if (negW || negH || (rw == NumberOk && w == 0) || (rh == NumberOk && h == 0)) {
        *error = "--screen " + Quoted(text) + ": width and height must be at least 1";
        return false;
    }
    if (rw == NumberTooLarge || rh == NumberTooLarge) {
        *error = "--screen " + Quoted(text) + ": width and height must be at most " +
                 std::to_string(RenderMaxScreenSide);
        return false;
    }
    out->ScreenWidth = int32_t(w);
    out->ScreenHeight = int32_t(h);
    return true;
}

// A whole number from min to max for option name.
static bool ParseRanged(const char* name, const char* text, uint64_t min, uint64_t max, uint64_t* value,
                        std::string* error)
{
    uint64_t v = 0;
    if (ParseWhole(text, 10, max, &v) != NumberOk || v < min) {
        *error = std::string(name) + " " + Quoted(text) + ": expected a whole number from " + std::to_string(min) +
                 " to " + std::to_string(max);
        return false;
    }
    *value = v;
    return true;
}

bool ParseRenderArgs(int argc, char** argv, RenderArgs* out, std::string* error)
{
    static const char* const Options[] = {"--screen", "--dpi", "--seed", "--steps", "--twotone", "--frame", "--blocks",
                                          "--webp", "--every", "--scale"};
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            out->Help = true;
            continue;
        }
        // Split "--name=value"; otherwise the value is the next argument.
        const char* eq = std::strncmp(arg, "--", 2) == 0 ? std::strchr(arg, '=') : nullptr;
        const std::string name = eq ? std::string(arg, eq) : std::string(arg);
        const char* option = nullptr;
        for (const char* o : Options)
            if (name == o)
                option = o;
        if (!option) {
            if (arg[0] == '-' && arg[1] != '\0')
                *error = "unknown option " + Quoted(eq ? name.c_str() : arg) + " (see --help)";
            else
                *error = "unexpected argument " + Quoted(arg) + " (see --help)";
            return false;
        }
        const char* value = eq ? eq + 1 : nullptr;
        if (!value) {
            if (i + 1 >= argc) {
                *error = std::string(option) + " needs a value";
                return false;
            }
            value = argv[++i];
        }

        uint64_t v = 0;
        if (std::strcmp(option, "--screen") == 0) {
            if (!ParseScreen(value, out, error))
                return false;
        } else if (std::strcmp(option, "--dpi") == 0) {
            if (!ParseRanged(option, value, 1, RenderMaxDpi, &v, error))
                return false;
            out->Dpi = int(v);
        } else if (std::strcmp(option, "--seed") == 0) {
            if (!ParseRanged(option, value, 0, UINT32_MAX, &v, error))
                return false;
            out->Seed = uint32_t(v);
        } else if (std::strcmp(option, "--steps") == 0) {
            if (!ParseRanged(option, value, 0, UINT32_MAX, &v, error))
                return false;
            out->Steps = uint32_t(v);
        } else if (std::strcmp(option, "--every") == 0) {
            if (!ParseRanged(option, value, 1, RenderMaxEvery, &v, error))
                return false;
            out->Every = uint32_t(v);
        } else if (std::strcmp(option, "--scale") == 0) {
            if (!ParseRanged(option, value, 1, RenderMaxScale, &v, error))
                return false;
            out->Scale = int(v);
        } else {
            if (*value == '\0') {
                *error = std::string(option) + " needs a file name";
                return false;
            }
            std::string& path = std::strcmp(option, "--twotone") == 0 ? out->TwoTonePath
                                : std::strcmp(option, "--frame") == 0 ? out->FramePath
                                : std::strcmp(option, "--webp") == 0  ? out->WebpPath
                                                                      : out->BlocksPath;
            path = value;
        }
    }

    // Two outputs renamed onto one name would leave only whichever came last.
    const struct { const char* name; const std::string* path; } files[] = {
        {"--twotone", &out->TwoTonePath}, {"--frame", &out->FramePath}, {"--blocks", &out->BlocksPath},
        {"--webp", &out->WebpPath}};
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b)
            if (!files[a].path->empty() && *files[a].path == *files[b].path) {
                *error = std::string(files[a].name) + " and " + files[b].name + " name the same file " +
                         Quoted(files[a].path->c_str());
                return false;
            }
    return true;
}
