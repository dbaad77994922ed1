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
#include "tests/test_util.h"

namespace fs = std::filesystem;

static std::string ReadAll(const fs::path& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

static fs::path TempDir()
{
    char name[] = "/tmp/glyphfall-render-test-XXXXXX";
    return mkdtemp(name) ? name : "/nonexistent";
}

TEST(RenderArgs, AcceptedValuesAndOneLineRefusals)
{
    const std::vector<std::vector<std::string>> cases = {
        {"", "1920x1080 96 0 0 /// 0"}, {"--seed 4294967295 --screen 16384X1", "16384x1 96 4294967295 0"},
        {"--screen=1024x768 --seed=5 --steps 3 --dpi 1200", "1024x768 1200 5 3 /// 0"},
        {"--dpi 7 --dpi=8 -h --frame f --twotone=t --blocks b", "1920x1080 8 0 0 t/f/b/ 1"},
        {"--bogus=1", "unknown option '--bogus'"}, {"-x", "unknown option '-x'"}, {"a", "unexpected argum"},
        {"--bad\noption", "unknown option '--bad\\x0Aoption'"}, {"--screen", "--screen needs a value"},
        {"--screen 1920", "--screen '1920': expected WIDTHxHEIGHT"}, {"--screen x1080", "expected WIDTHx"},
        {"--screen 19a0x1080", "WIDTHx"}, {"--screen 1x2x3", "WIDTHx"}, {"--screen +5x5", "WIDTHx"},
        {"--screen 0x1080", "--screen '0x1080': width and height must be at least 1"},
        {"--screen 1920x0", "at least 1"}, {"--screen -5x100", "least 1"}, {"--screen 100x-1", "least 1"},
        {"--screen 16385x100", "must be at most 16384"}, {"--screen 1x99999999999999999999", "at most 16384"},
        {"--dpi 0", "--dpi '0': expected a whole number from 1 to 1200"}, {"--dpi 1201", "from 1 to 1200"},
        {"--dpi -96", "from 1 to 1200"}, {"--dpi 96.5", "from 1 to 1200"}, {"--dpi=", "from 1 to 1200"},
        {"--seed 4294967296", "--seed '4294967296': expected a whole number from 0 to 4294967295"},
        {"--seed -1", "from 0 to 4294967295"}, {"--steps ten", "--steps 'ten': expected a whole number"},
        {"--dpi", "--dpi needs a value"}, {"--frame=", "--frame needs a file name"},
        {"--frame a --twotone a", "--twotone and --frame name the same file 'a'"}};
    for (const auto& c : cases) {
        std::istringstream line(c[0]);
        std::vector<std::string> words(1);
        for (std::string w; std::getline(line, w, ' ');)
            words.push_back(w);
        std::vector<char*> argv;
        for (std::string& w : words)
            argv.push_back(w.data());
        RenderArgs a;
        std::string error;
        std::ostringstream got;
        if (ParseRenderArgs(int(argv.size()), argv.data(), &a, &error))
            got << a.ScreenWidth << "x" << a.ScreenHeight << " " << a.Dpi << " " << a.Seed << " " << a.Steps
                << " " << a.TwoTonePath << "/" << a.FramePath << "/" << a.BlocksPath << "/ " << a.Help;
        EXPECT_NE((got.str() + error).find(c[1]), std::string::npos) << c[0] << ": " << got.str() << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
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
    const mode_t mask = umask(022);
    for (bool commit : {false, true}) {  // through the link, onto its target
        ASSERT_TRUE(OpenOutput(in("link.png"), &f, &error) && std::fputs("new", f.Stream) >= 0) << error;
        EXPECT_TRUE(commit ? CommitOutput(&f, &error) : (DiscardOutput(&f), ReadAll(in("f.png")) == "old"));
    }
    umask(mask);
    EXPECT_TRUE(ReadAll(in("f.png")) == "new" && fs::is_symlink(in("link.png")) && entries() == 3);
    EXPECT_EQ(fs::status(in("f.png")).permissions(), fs::perms(0644));
    const pid_t child = fork();  // a signal's way out removes the files still being written
    if (child == 0)
        OpenOutput(in("a"), &a, &error), OpenOutput(in("b"), &b, &error), DiscardAllOutputsAndExit(130);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130 && entries() == 3);
    fs::remove_all(dir);
}

TEST_F(CoreTest, RenderToolWritesTheSceneBuiltHere)
{
    const fs::path dir = TempDir();
    const auto in = [&](const char* file) { return (dir / file).string(); };
    const std::string files = " --twotone " + in("t") + " --frame " + in("f") + " --blocks " + in("b");
    FILE* tool = popen((GLYPHFALL_RENDER_BINARY " --screen 1024x768 --seed 12345 --steps 3" + files).c_str(),
                       "r");
    char line[100] = "", want[100];
    EXPECT_TRUE(tool && std::fgets(line, sizeof line, tool) && pclose(tool) == 0);
    Prepare(1024, 768);
    RandSeed = 12345;
    NewScene();
    const std::vector<uint8_t> twoTone = Pixels();
    for (int step = 0; step < 3; ++step)
        AnimationStep();
    std::snprintf(want, sizeof want, "letter 0x%02X U+%04X blocks %zu\n", SceneLetter,
                  0x0410 + SceneLetter - 0xC0, BlockList.size());
    EXPECT_STREQ(line, want);
    for (const auto& [file, pixels] : {std::pair{"t", twoTone}, {"f", Pixels()}}) {
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        std::vector<uint8_t> got(200 * 150 * 3);
        EXPECT_TRUE(png_image_begin_read_from_file(&png, in(file).c_str()) && png.width == 200 &&
                    png.height == 150 && png.format == PNG_FORMAT_RGB && (png.format = PNG_FORMAT_BGR) &&
                    png_image_finish_read(&png, nullptr, got.data(), 0, nullptr) && got == pixels)
            << file;
    }
    std::istringstream csv(ReadAll(in("b")));
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
