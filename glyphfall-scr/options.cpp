#include "glyphfall-scr/options.h"

#include <cctype>

#include "shell/command_line.h"

// A window handle as Windows writes it on a screen saver's command line:
// decimal digits, not zero, within 64 bits.
static bool ParseHandle(const std::string& text, uint64_t* value)
{
    return ParseWhole(text.c_str(), 10, UINT64_MAX, value) == NumberOk && *value != 0;
}

bool ParseSaverArgs(int argc, const char* const* argv, SaverArgs* out, std::string* error)
{
    *out = SaverArgs{};
    if (argc <= 1)
        return true;   // what the Settings button of older systems sends
    const std::string first = argv[1];
    const char letter = first.size() >= 2 ? char(std::tolower(static_cast<unsigned char>(first[1]))) : 0;
    if ((first[0] != '/' && first[0] != '-') || (letter != 's' && letter != 'p' && letter != 'c') ||
        (first.size() > 2 && first[2] != ':')) {
        *error = "unknown argument " + Quoted(first);
        return false;
    }
    out->Mode = letter == 's' ? SaverShow : letter == 'p' ? SaverPreview : SaverSettings;
    std::string handle;
    int used = 2;
    if (first.size() > 2)
        handle = first.substr(3);
    else if (argc > 2 && letter != 's')
        handle = argv[used++];
    if (argc > used) {
        *error = "unexpected argument " + Quoted(argv[used]);
        return false;
    }
    const bool needed = letter == 'p', allowed = letter != 's';
    if ((handle.empty() && needed) || (!handle.empty() && (!allowed || !ParseHandle(handle, &out->Window)))) {
        *error = needed && handle.empty() ? "/p needs a window handle"
                                          : Quoted(handle) + " is not a window handle for " + first.substr(0, 2);
        return false;
    }
    return true;
}
