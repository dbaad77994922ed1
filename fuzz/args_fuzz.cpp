// libFuzzer target: glyphfall-render's command line, split at NUL bytes into
// arguments. Whatever they are, the parser accepts values inside their
// documented ranges or refuses with one line of printable ASCII.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "tools/render_args.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> words = {"glyphfall-render", ""};
    for (size_t i = 0; i < size; ++i)
        data[i] ? words.back().push_back(char(data[i])) : words.emplace_back();
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    RenderArgs a;
    std::string error;
    const auto in = [](int64_t v, int64_t max) { return v >= 1 && v <= max; };
    const auto printable = [](unsigned char c) { return c >= 0x20 && c < 0x7f; };
    if (ParseRenderArgs(int(argv.size()), argv.data(), &a, &error)
            ? !in(a.ScreenWidth, RenderMaxScreenSide) || !in(a.ScreenHeight, RenderMaxScreenSide) ||
                  !in(a.Dpi, RenderMaxDpi)
            : error.empty() || !std::all_of(error.begin(), error.end(), printable))
        std::abort();
    return 0;
}
