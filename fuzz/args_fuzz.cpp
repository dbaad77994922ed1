// libFuzzer target: glyphfall-render's command line. The input is split at
// NUL bytes into arguments; whatever they are, the parser must either accept
// values inside their documented ranges or refuse with exactly one line.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/render_args.h"

static void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "args_fuzz: %s\n", what);
        std::abort();
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<std::string> words(1, "glyphfall-render");
    std::string word;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(word);
            word.clear();
        } else {
            word.push_back(char(data[i]));
        }
    }
    words.push_back(word);
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);

    RenderArgs args;
    std::string error;
    if (ParseRenderArgs(int(words.size()), argv.data(), &args, &error)) {
        Check(args.ScreenWidth >= 1 && args.ScreenWidth <= RenderMaxScreenSide, "width out of range");
        Check(args.ScreenHeight >= 1 && args.ScreenHeight <= RenderMaxScreenSide, "height out of range");
        Check(args.Dpi >= 1 && args.Dpi <= RenderMaxDpi, "dpi out of range");
    } else {
        Check(!error.empty(), "refused without a message");
        Check(error.find('\n') == std::string::npos, "message spans several lines");
        for (char c : error)
            Check(static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f,
                  "message has a control or non-ASCII byte");
    }
    return 0;
}
