// glyphfall-render: the command line and the output files in-process, and
// one real run whose files hold the scene built here with the same calls.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "glyphfall-render/options.h"
#include "glyphfall-render/files.h"
#include "tests/argv.h"
#include "tests/test_util.h"

namespace fs = std::filesystem;

static fs::path TempDir()
{
    char name[] = "/tmp/glyphfall-render-test-XXXXXX";
    return mkdtemp(name) ? name : "/nonexistent";
}

TEST(RenderArgs, AcceptedValuesAndOneLineRefusals)
{
    const std::string wxh = ": expected WIDTHxHEIGHT in pixels, such as 1920x1080";
    const std::string least = ": width and height must be at least 1", most = ": width and height must be at most 16384";
    const std::string dpi = ": expected a whole number from 1 to 1200", u32 = ": expected a whole number from 0 to 4294967295";
    struct Case {
        const char* Args;
        std::string Error;   // the one-line refusal ("" when accepted)
        int32_t Width = 1920, Height = 1080;
        int Dpi = 96;
        uint32_t Seed = 0, Steps = 0;
        std::string TwoTone = "", Frame = "", Blocks = "";
        bool Help = false;
    };
    const Case cases[] = {
        {"", ""}, {"--seed 4294967295 --screen 16384X1", "", 16384, 1, 96, 4294967295},
        {"--screen=1024x768 --seed=5 --steps 3 --dpi 1200", "", 1024, 768, 1200, 5, 3},
        {"--dpi 7 --dpi=8 -h --frame f --twotone=t --blocks b", "", 1920, 1080, 8, 0, 0, "t", "f", "b", true},
        {"--bogus=1", "unknown option '--bogus' (see --help)"}, {"-x", "unknown option '-x' (see --help)"},
        {"a", "unexpected argument 'a' (see --help)"},
        {"--bad\noption", "unknown option '--bad\\x0Aoption' (see --help)"},
        {"--screen", "--screen needs a value"}, {"--dpi", "--dpi needs a value"},
        {"--frame=", "--frame needs a file name"},
        {"--frame a --twotone a", "--twotone and --frame name the same file 'a'"},
        {"--screen 1920", "--screen '1920'" + wxh}, {"--screen x1080", "--screen 'x1080'" + wxh},
        {"--screen 19a0x1080", "--screen '19a0x1080'" + wxh}, {"--screen 1x2x3", "--screen '1x2x3'" + wxh},
        {"--screen +5x5", "--screen '+5x5'" + wxh}, {"--screen 0x1080", "--screen '0x1080'" + least},
        {"--screen 1920x0", "--screen '1920x0'" + least}, {"--screen -5x100", "--screen '-5x100'" + least},
        {"--screen 100x-1", "--screen '100x-1'" + least}, {"--screen 16385x100", "--screen '16385x100'" + most},
        {"--screen 1x99999999999999999999", "--screen '1x99999999999999999999'" + most},
        {"--dpi 0", "--dpi '0'" + dpi}, {"--dpi 1201", "--dpi '1201'" + dpi}, {"--dpi -96", "--dpi '-96'" + dpi},
        {"--dpi 96.5", "--dpi '96.5'" + dpi}, {"--dpi=", "--dpi ''" + dpi},
        {"--seed 4294967296", "--seed '4294967296'" + u32}, {"--seed -1", "--seed '-1'" + u32},
        {"--steps ten", "--steps 'ten'" + u32},
    };
    for (const auto& c : cases) {
        RenderArgs a;
        EXPECT_EQ(Parse(ParseRenderArgs, c.Args, &a), c.Error) << c.Args;
        if (!c.Error.empty())
            continue;
        EXPECT_EQ(std::tie(a.ScreenWidth, a.ScreenHeight, a.Dpi, a.Seed, a.Steps, a.TwoTonePath, a.FramePath,
                           a.BlocksPath, a.Help),
                  std::tie(c.Width, c.Height, c.Dpi, c.Seed, c.Steps, c.TwoTone, c.Frame, c.Blocks, c.Help))
            << c.Args;
    }
}

TEST(RenderFiles, OutputsAppearWholeOrNotAtAll)
{
    const fs::path dir = TempDir();
    const auto in = [&](const char* file) { return (dir / file).string(); };
    const auto entries = [&] { return std::distance(fs::directory_iterator(dir), fs::directory_iterator()); };
    fs::create_directory(dir / "sub");
    OutputFile f, a, b;
    std::string error;
    for (const auto& [path, reason] : {std::pair{in("no/f"), "No such file"}, {in("sub"), "it is a dir"},
                                       {"/dev/null", "it is not a regular file"}}) {
        EXPECT_FALSE(OpenOutput(path, &f, &error));
        EXPECT_EQ(error.find("cannot write '" + path + "': " + reason), 0u) << error;
    }
    std::ofstream(in("f.png")) << "old";
    fs::create_symlink(in("f.png"), in("link.png"));
    umask(022);
    // Discarded, then committed: through the link, onto its target.
    for (const bool commit : {false, true}) {
        ASSERT_TRUE(OpenOutput(in("link.png"), &f, &error)) << error;
        std::fputs("new", f.Stream);
        EXPECT_TRUE(commit ? CommitOutput(&f, &error) : (DiscardOutput(&f), true)) << error;
        std::string text;
        std::ifstream(in("f.png")) >> text;
        EXPECT_EQ(text, commit ? "new" : "old");
    }
    EXPECT_TRUE(fs::is_symlink(in("link.png")));
    EXPECT_EQ(entries(), 3) << "f.png, link.png and sub only";
    EXPECT_EQ(fs::status(in("f.png")).permissions(), fs::perms(0644));
    const pid_t child = fork();  // a signal's way out removes the files still being written
    if (child == 0)
        OpenOutput(in("a"), &a, &error), OpenOutput(in("b"), &b, &error), DiscardAllOutputsAndExit(130);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130) << status;
    EXPECT_EQ(entries(), 3) << "a and b removed";
    fs::remove_all(dir);
}

TEST_F(CoreTest, RenderToolWritesTheSceneBuiltHere)
{
    const fs::path dir = TempDir();
    const auto in = [&](const char* file) { return (dir / file).string(); };
    const std::string files = " --twotone " + in("t") + " --frame " + in("f") + " --blocks " + in("b");
    FILE* tool = popen((GLYPHFALL_RENDER_BINARY " --screen 1024x768 --seed 12345 --steps 3" + files).c_str(),
                       "r");
    ASSERT_NE(tool, nullptr);
    char line[100] = "", want[100];
    std::fgets(line, sizeof line, tool);
    EXPECT_EQ(pclose(tool), 0);
    Prepare(1024, 768);
    RandSeed = 12345;
    NewScene();
    const std::vector<uint8_t> twoTone = Pixels();
    for (int step = 0; step < 3; ++step)
        AnimationStep();
    std::snprintf(want, sizeof want, "letter 0x%02X U+%04X blocks %zu\n", SceneLetter,
                  0x0410 + SceneLetter - 0xC0, BlockList.size());
    EXPECT_STREQ(line, want);
    for (const auto& [file, pixels] : {std::pair{"t", twoTone}, {"f", Pixels()}}) {   // 200 x 150 RGB, read as BGR
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        std::vector<uint8_t> read(pixels.size());
        const bool rgb = png_image_begin_read_from_file(&png, in(file).c_str()) && png.format == PNG_FORMAT_RGB;
        ASSERT_TRUE(rgb && png.width == 200 && png.height == 150) << file;
        png.format = PNG_FORMAT_BGR;
        EXPECT_TRUE(png_image_finish_read(&png, nullptr, read.data(), 0, nullptr) && read == pixels) << file;
    }
    std::ifstream csv(in("b"));
    std::string row, cell;
    std::getline(csv, row);
    EXPECT_EQ(row, "index,SizeX,SizeY,X,Y,VX,VY,Mass,Half,Red,Green,Blue");
    std::vector<Block> blocks;
    for (double f[12]; std::getline(csv, row);) {
        std::istringstream cells(row);
        for (int i = 0; i < 12 && std::getline(cells, cell, ','); ++i)
            f[i] = std::strtod(cell.c_str(), nullptr);
        blocks.push_back({int32_t(f[1]), int32_t(f[2]), f[3], f[4], f[5], f[6], uint32_t(f[7]), f[8],
                          {uint8_t(f[11]), uint8_t(f[10]), uint8_t(f[9])}});
    }
    EXPECT_TRUE(SameBlocks(blocks, BlockList));
    fs::remove_all(dir);
}
