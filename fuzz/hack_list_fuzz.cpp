// libFuzzer target: the edit of ~/.xscreensaver's programs list, the input
// being the file, judged by a reading of it as the daemon reads it. The
// system's list: the start of the installed one (all of it slows each run a
// hundredfold), or a stand-in.
#include <cstdio>
#include <cstdlib>

#include "fuzz/hack_list_judge.h"

static std::vector<std::string> Defaults;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (Defaults.empty()) {
        Defaults = DefaultPrograms(HackFileJob().DefaultsFiles);
        Defaults.resize(std::min<size_t>(Defaults.size(), 8));
        Defaults.insert(Defaults.end(), {"maze --root", "- GL: \tsuperquadrics --root", "\"Q\" qix -root"});
    }
    const std::string fault = HackListFault(std::string(reinterpret_cast<const char*>(data), size), Defaults);
    if (!fault.empty())
        std::fprintf(stderr, "%s\n", fault.c_str()), std::abort();
    return 0;
}
