// libFuzzer target: the command lines of glyphfall-render and
// glyphfall-xscreensaver, split at NUL bytes into arguments. Whatever they
// are, each parser accepts values inside their documented ranges or refuses
// with one line of printable ASCII.
#include <algorithm>
#include <cstdlib>

#include "glyphfall-xscreensaver/options.h"
#include "glyphfall-render/options.h"
#include "shell/command_line.h"
#include "tests/argv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto oneLine = [](const std::string& e) {
        return !e.empty() && std::all_of(e.begin(), e.end(), [](unsigned char c) { return c >= 0x20 && c < 0x7f; });
    };
    std::vector<std::string> words;
    std::vector<char*> argv = SplitArgs({reinterpret_cast<const char*>(data), size}, '\0', &words);
    RenderArgs a;
    std::string error;
    const auto in = [](int64_t v, int64_t max) { return v >= 1 && v <= max; };
    if (ParseRenderArgs(int(argv.size()), argv.data(), &a, &error)
            ? !in(a.ScreenWidth, RenderMaxScreenSide) || !in(a.ScreenHeight, RenderMaxScreenSide) ||
                  !in(a.Dpi, RenderMaxDpi)
            : !oneLine(error))
        std::abort();
    HackArgs h;
    error.clear();
    if (ParseHackArgs(int(argv.size()), argv.data(), &h, &error)
            ? h.Delay > MaxDelay || (h.HasWindowId && h.WindowId == 0) || (h.Install && h.Uninstall)
            : !oneLine(error))
        std::abort();
    return 0;
}
