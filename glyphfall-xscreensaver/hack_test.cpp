// glyphfall-xscreensaver's choices made without a display: the command line
// with the window it picks, the raster's shape, and the edit of ~/.xscreensaver.
#include <vector>

#include <gtest/gtest.h>

#include "glyphfall-xscreensaver/options.h"
#include "glyphfall-xscreensaver/xscreensaver_file.h"
#include "scene/scene.h"
#include "shell/shell.h"
#include "tests/argv.h"

TEST(HackArgs, OptionsAndTheWindowByPrecedence)
{
    struct Case {
        const char* Args;
        const char* FromDaemon;   // XSCREENSAVER_WINDOW
        const char* Error;        // the one-line refusal ("" when accepted)
        PlaceKind Kind = PlaceOwn;
        unsigned long Handle = 0;
        uint32_t Delay = 10000;
        bool Fps = false, Install = false, Uninstall = false;
    };
    const Case cases[] = {
        {"", nullptr, ""}, {"--root", "", "", PlaceRoot}, {"--root", "0x2a", "", PlaceGiven, 42},
        {"-window-id 7 --root", "0x2a", "", PlaceGiven, 7},
        {"--window-id=0x10 -delay=0 --fps", "junk", "", PlaceGiven, 16, 0, true},
        {"--install", nullptr, "", PlaceOwn, 0, 10000, false, true},
        {"--uninstall", nullptr, "", PlaceOwn, 0, 10000, false, false, true},
        {"--install --uninstall", nullptr, "--install and --uninstall exclude each other"},
        {"--root", "junk", "XSCREENSAVER_WINDOW 'junk' is not a window id"},
        {"--window-id 0", nullptr, "--window-id '0': expected a window id, decimal or 0x hexadecimal"},
        {"--delay 10000001", nullptr, "--delay '10000001': expected microseconds from 0 to 10000000"},
        {"--install=1", nullptr, "option '--install=1' takes no value"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> words;
        std::vector<char*> argv = SplitArgs(c.Args, ' ', &words);
        HackArgs a;
        WindowPlace place;
        std::string error;
        const bool accepted = ParseHackArgs(int(argv.size()), argv.data(), &a, &error) &&
                              ChooseHackWindow(a, c.FromDaemon, &place, &error);
        EXPECT_EQ(accepted, !*c.Error) << c.Args;
        EXPECT_EQ(error, c.Error) << c.Args;
        if (!accepted)
            continue;
        EXPECT_EQ(place.Kind, c.Kind) << c.Args;
        EXPECT_EQ(place.Handle, c.Handle) << c.Args;
        EXPECT_EQ(a.Delay, c.Delay) << c.Args;
        EXPECT_EQ(a.Fps, c.Fps) << c.Args;
        EXPECT_EQ(a.Install, c.Install) << c.Args;
        EXPECT_EQ(a.Uninstall, c.Uninstall) << c.Args;
    }
    // The usage states the same order.
    const std::string usage = HackUsage();
    EXPECT_LT(usage.find("--window-id ID ("), usage.find("(XSCREENSAVER_WINDOW)"));
    EXPECT_LT(usage.find("(XSCREENSAVER_WINDOW)"), usage.find("with --root"));
}

TEST(HackRasterShape, NoWiderThanA32To9Screen)
{
    // Window, then the raster's width (0: none fits, the caller falls back).
    const int32_t cases[][3] = {{1920, 1080, 267}, {5120, 1440, 533}, {5121, 1440, 533}, {1920, 10, 533},
                                {1920, 1, 533},    {16384, 16384, 150}, {16384, 8, 533}, {10, 1920, 1},
                                {1, 1000, 0}};
    for (const auto& [w, h, want] : cases) {
        int32_t sw, sh;
        RasterShape(ShapeFitted, w, h, &sw, &sh);
        EXPECT_EQ(RasterWidthFor(sw, sh), want) << w << "x" << h << " -> " << sw << "x" << sh;
    }
}

TEST(HackList, AddsOrTakesOutOnlyItsOwnEntry)
{
    const std::string defaults = "! comment\n*programs:\t\\\n\t\tmaze --root\t\\n\\\n-\t\tqix --root\t\\n\n";
    const std::string present = "a: 1 \\\nprograms: b\nprograms: \\\n  maze \\n\\\n"
                                "  \"Glyphfall\" glyphfall-xscreensaver --root \\n\\\n"
                                "  pyro \\\n  --x \\n\\\n- glyphfall-xscreensaver \\n\nb: 2\n";
    struct Case {
        const char* Name;
        const std::string* Text;   // null: no file
        bool Add;
        int Number;
        bool Changed;
        std::vector<std::string> Has, Lacks;
    };
    const std::string noList = "lock: False \\";
    const std::string disabled = "programs: \\\n maze \\n\\\n-  GL: /x/glyphfall-xscreensaver\n";
    const Case cases[] = {
        {"no file", nullptr, true, 3, true,
         {"programs:", "maze", "\n-\t\tqix", "\"Glyphfall\"  /g/glyphfall-xscreensaver --root\t"}, {"*"}},
        {"no list", &noList, true, 3, true, {"lock: False \\\n\nprograms:", "maze"}, {}},
        {"present", &present, true, 2, false, {}, {}},
        {"disabled", &disabled, true, 2, true, {"\t\t\t\tGL: /x/glyphfall-xscreensaver\t"}, {"-  GL"}},
        {"remove", &present, false, 2, true, {"a: 1 \\\nprograms: b\nprograms:", "\tmaze\t", "pyro   --x", "b: 2\n"},
         {"Glyphfall", "glyphfall-"}},
        {"remove none", nullptr, false, 0, false, {}, {}},
    };
    for (const Case& c : cases) {
        const HackListEdit edit = EditHackList(c.Text, defaults, "/g/glyphfall-xscreensaver --root", c.Add);
        EXPECT_EQ(edit.Number, c.Number) << c.Name;
        EXPECT_EQ(edit.Changed, c.Changed) << c.Name;
        EXPECT_EQ(edit.Text == (c.Text ? *c.Text : ""), !c.Changed) << c.Name;
        for (const std::string& piece : c.Has)
            EXPECT_NE(edit.Text.find(piece), std::string::npos) << c.Name << ": " << piece << " in\n" << edit.Text;
        for (const std::string& piece : c.Lacks)
            EXPECT_EQ(edit.Text.find(piece), std::string::npos) << c.Name << ": " << piece << " in\n" << edit.Text;
        // Doing it again changes nothing and names the same entry.
        const HackListEdit again = EditHackList(&edit.Text, defaults, "/g/glyphfall-xscreensaver --root", c.Add);
        EXPECT_FALSE(again.Changed) << c.Name << "\n" << again.Text;
        EXPECT_EQ(again.Number, c.Add ? c.Number : 0) << c.Name;
    }
    // The command: bare where the daemon looks for hacks.
    EXPECT_EQ(HackListCommand("/usr/libexec/xscreensaver/glyphfall-xscreensaver"), "glyphfall-xscreensaver --root");
    EXPECT_EQ(HackListCommand("/usr/local/libexec/xscreensaver/gx"), "/usr/local/libexec/xscreensaver/gx --root");
    EXPECT_EQ(HackListCommand("/home/a b/gx"), "");
}
