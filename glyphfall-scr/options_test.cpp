// The screen saver's command line, as Windows and users write it.
#include <gtest/gtest.h>

#include "glyphfall-scr/options.h"
#include "tests/argv.h"

TEST(SaverArgs, FormsWindowsUses)
{
    // Error is the refusal, "" when the line is accepted.
    struct Case { const char* Args; const char* Error; SaverMode Mode = SaverSettings; uint64_t Window = 0; };
    const Case cases[] = {
        {"", ""}, {"/s", "", SaverShow}, {"-S", "", SaverShow}, {"/P 1234", "", SaverPreview, 1234},
        {"/p:66", "", SaverPreview, 66}, {"-c 7", "", SaverSettings, 7},
        {"/c:18446744073709551615", "", SaverSettings, UINT64_MAX},
        {"/p", "/p needs a window handle"}, {"/p 0", "'0' is not a window handle for /p"},
        {"/p 12x", "'12x' is not a window handle for /p"}, {"/s:5", "'5' is not a window handle for /s"},
        {"/c:18446744073709551616", "'18446744073709551616' is not a window handle for /c"},
        {"/s 5", "unexpected argument '5'"}, {"/p 5 6", "unexpected argument '6'"},
        {"/sx", "unknown argument '/sx'"}, {"/a", "unknown argument '/a'"}, {"s", "unknown argument 's'"},
    };
    for (const Case& c : cases) {
        SaverArgs args;
        EXPECT_EQ(Parse(ParseSaverArgs, c.Args, &args), c.Error) << c.Args;
        if (*c.Error)
            continue;
        EXPECT_EQ(std::pair(args.Mode, args.Window), std::pair(c.Mode, c.Window)) << c.Args;
    }
    // Anyone may write anything into the registry.
    EXPECT_EQ(ClampSavedDelay(uint64_t(MaxDelay) + 1), MaxDelay) << "a saved delay past the limit";
}
