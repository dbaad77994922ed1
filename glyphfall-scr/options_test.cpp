// The screen saver's command line, as Windows and users write it.
#include <gtest/gtest.h>

#include "glyphfall-scr/options.h"

TEST(SaverArgs, FormsWindowsUses)
{
    struct Case {
        std::vector<const char*> Args;
        bool Accepted;
        SaverMode Mode;
        uint64_t Window;
    };
    const Case cases[] = {
        {{}, true, SaverSettings, 0},
        {{"/s"}, true, SaverShow, 0},
        {{"-S"}, true, SaverShow, 0},
        {{"/P", "1234"}, true, SaverPreview, 1234},
        {{"/p:66"}, true, SaverPreview, 66},
        {{"/c:18446744073709551615"}, true, SaverSettings, UINT64_MAX},
        {{"-c", "7"}, true, SaverSettings, 7},
        {{"/p"}, false, SaverPreview, 0},
        {{"/p", "0"}, false, SaverPreview, 0},
        {{"/p", "12x"}, false, SaverPreview, 0},
        {{"/c:18446744073709551616"}, false, SaverSettings, 0},
        {{"/s", "5"}, false, SaverShow, 0},
        {{"/s:5"}, false, SaverShow, 0},
        {{"/sx"}, false, SaverShow, 0},
        {{"/a"}, false, SaverShow, 0},
        {{"s"}, false, SaverShow, 0},
        {{"/p", "5", "6"}, false, SaverPreview, 0},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"glyphfall.scr"};
        argv.insert(argv.end(), c.Args.begin(), c.Args.end());
        SaverArgs args;
        std::string error;
        const bool accepted = ParseSaverArgs(int(argv.size()), argv.data(), &args, &error);
        const std::string line = c.Args.empty() ? "(none)" : c.Args[0];
        ASSERT_EQ(accepted, c.Accepted) << line << ": " << error;
        if (accepted)
            EXPECT_TRUE(args.Mode == c.Mode && args.Window == c.Window) << line;
        else
            EXPECT_FALSE(error.empty()) << line;
    }
    EXPECT_EQ(ClampSavedDelay(uint64_t(MaxDelay) + 1), MaxDelay);
    EXPECT_EQ(ClampSavedDelay(0xFFFFFFFFu), MaxDelay);
    EXPECT_EQ(ClampSavedDelay(MaxDelay), MaxDelay);
}
