// glyphfall.exe under Wine, on the test's own Xvfb, with real XTest input and screenshots: the picture and the
// letter's size following LogPixels, what ends it and what does not, the system close command, the error box.
#include "tests/e2e/wine.h"

#include <algorithm>
#include <array>
#include <regex>

#include <X11/keysym.h>

namespace {

// The exact enlargement of the letter and of later frames, landscape and portrait, by Wine's rule for StretchBlt:
// each pixel shows the raster pixel under its centre. The letter's size follows LogPixels: with the cell at row 20,
// every capital's baseline is row 106 at 96 DPI (its descent reaching row 126 at most), and row 148 at 144 DPI.
struct WinePicture : Wine, testing::WithParamInterface<std::array<int, 4>> {};   // screen, raster width, DPI

TEST_P(WinePicture, TheLetterSizedByLogPixelsThenMovingBlocksEnlargedExactly)
{
    const auto [width, height, rasterWidth, dpi] = GetParam();
    ASSERT_NO_FATAL_FAILURE(Prepare(width, height));
    const char* desktop = "HKCU\\Control Panel\\Desktop";
    ASSERT_TRUE(Registry(desktop, "LogPixels", "REG_DWORD", std::to_string(dpi)));
    Launch({GLYPHFALL_WINDOWS_EXE}, Env());
    Screenshot letter, frame, later;
    ASSERT_TRUE(WaitForPhase(true, &letter));
    const std::vector<uint32_t> raster = ExpectEnlargement(letter, rasterWidth, "the letter", 0, 0, 0, 0, true);
    const int lowestInk = int(raster.rend() - std::find(raster.rbegin(), raster.rend(), 0u) - 1) / rasterWidth;
    EXPECT_TRUE(dpi == 96 ? lowestInk > 90 && lowestInk <= 130 : lowestInk >= 140) << "lowest ink row " << lowestInk;
    ASSERT_TRUE(WaitForPhase(false, &frame));
    auto moved = [&](const Screenshot& s) { return HasColour(s) && s.Pixels != frame.Pixels; };
    ASSERT_TRUE(WaitForScreen(Server.Conn, Ms(5000), moved, &later)) << "the animation froze";
    ExpectEnlargement(later, rasterWidth, "a later frame", 0, 0, 0, 0, true);
    EXPECT_TRUE(Tool({"/usr/bin/wine", "reg", "delete", desktop, "/v", "LogPixels", "/f"}));
}

INSTANTIATE_TEST_SUITE_P(E2e, WinePicture,
                         testing::Values(std::array{1280, 1024, 188, 144}, std::array{768, 1024, 112, 96}));

// The input endings of every program's table, and the system close command, which without a window manager
// is the X window's WM_DELETE_WINDOW: Wine turns it into WM_SYSCOMMAND SC_CLOSE.
std::vector<EndCase> Ends()
{
    std::vector<EndCase> cases = InputEndings();
    cases.push_back({"TheSystemCloseCommand", 0, nullptr, [](E2e* t) {
        for (Window w : TopWindows(t->Server.Conn))   // the program's is the only one shown
            SendClose(t->Server.Conn, w);
    }, 3000, 0, ""});
    return cases;
}

struct WineEnds : Wine, testing::WithParamInterface<EndCase> {};

// The window appears under the resting pointer, whose first move message must not end it either.
TEST_P(WineEnds, WhenItShould)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(1280, 1024));
    Launch({GLYPHFALL_WINDOWS_EXE}, Env());
    ExpectEnding(GetParam());
}

INSTANTIATE_TEST_SUITE_P(E2e, WineEnds, testing::ValuesIn(Ends()), [](const auto& info) { return info.param.Name; });

// A screen one pixel wide leaves the raster no column: the "Application
// Error" box, its text on stderr too, and exit code 1 once it is answered.
TEST_F(Wine, AScreenTooNarrowShowsTheErrorBox)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(1, 1000));
    ASSERT_NO_FATAL_FAILURE(Launch({GLYPHFALL_WINDOWS_EXE}, Env()));
    ASSERT_NE(FocusWindowNamed("Application Error"), 0u) << "no box; " << ReadStderr(Prog);
    ASSERT_FALSE(WaitExit(&Prog, Ms(700))) << "did not wait for the box: " << DescribeStatus(Prog.ExitStatus);
    // The code's offset in the program file: 8 hexadecimal digits, not 0; the C runtime's text mode writes CR LF.
    const std::regex text("glyphfall: Application Error: Exception EOutOfResources in module glyphfall\\.exe at "
                          "(?!0{8})[0-9A-F]{8}\\.\r?\na raster of 0 columns cannot be created for a screen of 1 x "
                          "1000 pixels\\.\r?\n");
    EXPECT_TRUE(std::regex_match(ReadStderr(Prog), text)) << ReadStderr(Prog);
    TapKey(Server.Conn, XK_Return);
    ExpectExit(Clock::now(), Ms(3000), 1, nullptr, "box answered");
}

}  // namespace
