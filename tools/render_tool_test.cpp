// glyphfall-render: the command line and the output files in-process, and
// one real run whose files hold the scene built here with the same calls.
#include <filesystem>
#include <fstream>
#include <sstream>

#include <png.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "render_args.h"
#include "render_files.h"
#include "tests/test_util.h"

namespace fs = std::filesystem;

namespace {

std::string Parse(std::vector<std::string> words, RenderArgs* args)
{
    std::vector<char*> argv(1, nullptr);
    for (std::string& w : words)
        argv.push_back(w.data());
    std::string error;
    return ParseRenderArgs(int(argv.size()), argv.data(), args, &error) ? "" : error;
}

std::string ReadAll(const fs::path& path)
{
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

// A temporary directory for the test, removed at its end.
struct RenderTool : testing::Test {
    void SetUp() override
    {
        char name[] = "/tmp/glyphfall-render-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        Dir = name;
    }
    void TearDown() override { fs::remove_all(Dir); }
    std::string In(const char* name) const { return (Dir / name).string(); }
    size_t Entries() const { return size_t(std::distance(fs::directory_iterator(Dir), fs::directory_iterator())); }
    fs::path Dir;
};

}  // namespace

TEST(RenderArgs, AcceptedValuesAndOneLineRefusals)
{
    const struct { std::vector<std::string> args; const char* want; } accepted[] = {
        {{}, "1920x1080 96 0 0 /// 0"},
        {{"--screen=1024x768", "--seed=5", "--steps", "3", "--dpi", "1200"}, "1024x768 1200 5 3 /// 0"},
        {{"--seed", "4294967295", "--screen", "16384X1", "--steps=0"}, "16384x1 96 4294967295 0 /// 0"},
        {{"--dpi", "7", "--dpi=8", "-h", "--frame", "f", "--twotone=t", "--blocks", "b"}, "1920x1080 8 0 0 t/f/b/ 1"}};
    for (const auto& c : accepted) {
        RenderArgs a;
        EXPECT_EQ(Parse(c.args, &a), "");
        std::ostringstream got;
        got << a.ScreenWidth << "x" << a.ScreenHeight << " " << a.Dpi << " " << a.Seed << " " << a.Steps << " "
            << a.TwoTonePath << "/" << a.FramePath << "/" << a.BlocksPath << "/ " << a.Help;
        EXPECT_EQ(got.str(), c.want);
    }
    const struct { std::vector<std::string> args; const char* message; } refused[] = {
        {{"--bogus=1"}, "unknown option '--bogus'"}, {{"-x"}, "unknown option '-x'"},
        {{"stray"}, "unexpected argument 'stray'"}, {{"--bad\noption"}, "unknown option '--bad\\x0Aoption'"},
        {{"--screen"}, "--screen needs a value"}, {{"--screen", "1920"}, "--screen '1920': expected WIDTHxHEIGHT"},
        {{"--screen", "1920x"}, "expected WIDTHxHEIGHT"}, {{"--screen", "x1080"}, "expected WIDTHxHEIGHT"},
        {{"--screen", "19a0x1080"}, "expected WIDTHxHEIGHT"}, {{"--screen", "1x2x3"}, "expected WIDTHxHEIGHT"},
        {{"--screen", "+5x5"}, "expected WIDTHxHEIGHT"}, {{"--screen", " 5x5"}, "expected WIDTHxHEIGHT"},
        {{"--screen", "0x1080"}, "--screen '0x1080': width and height must be at least 1"},
        {{"--screen", "1920x0"}, "at least 1"}, {{"--screen", "-5x100"}, "at least 1"},
        {{"--screen", "100x-1"}, "at least 1"}, {{"--screen", "16385x100"}, "width and height must be at most 16384"},
        {{"--screen", "100x99999999999999999999999"}, "at most 16384"},
        {{"--dpi", "0"}, "--dpi '0': expected a whole number from 1 to 1200"}, {{"--dpi", "1201"}, "from 1 to 1200"},
        {{"--dpi", "-96"}, "from 1 to 1200"}, {{"--dpi", "96.5"}, "from 1 to 1200"}, {{"--dpi", ""}, "from 1 to 1200"},
        {{"--dpi"}, "--dpi needs a value"},
        {{"--seed", "4294967296"}, "--seed '4294967296': expected a whole number from 0 to 4294967295"},
        {{"--seed", "-1"}, "from 0 to 4294967295"}, {{"--steps", "ten"}, "--steps 'ten': expected a whole number"},
        {{"--frame", ""}, "--frame needs a file name"},
        {{"--frame", "a", "--twotone", "a"}, "--twotone and --frame name the same file 'a'"}};
    for (const auto& c : refused) {
        RenderArgs a;
        const std::string error = Parse(c.args, &a);
        EXPECT_NE(error.find(c.message), std::string::npos) << "got: " << error << " expected: " << c.message;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
    }
}

TEST_F(RenderTool, OutputsAppearWholeOrNotAtAll)
{
    fs::create_directory(Dir / "sub");
    OutputFile f;
    std::string error;
    for (const auto& [path, reason] : {std::pair{In("missing/f"), "No such file"}, {In("sub"), "it is a directory"},
                                       {std::string("/dev/null"), "it is not a regular file"}}) {
        EXPECT_FALSE(OpenOutput(path, &f, &error));
        EXPECT_EQ(error.find("cannot write '" + path + "': " + reason), 0u) << error;
    }
    std::ofstream(In("f.png")) << "old";
    fs::create_symlink(In("f.png"), In("link.png"));
    ASSERT_TRUE(OpenOutput(In("link.png"), &f, &error)) << error;
    std::fputs("new", f.Stream);
    DiscardOutput(&f);
    EXPECT_EQ(ReadAll(In("f.png")), "old");
    const mode_t mask = umask(022);
    ASSERT_TRUE(OpenOutput(In("link.png"), &f, &error) && std::fputs("new", f.Stream) >= 0 && CommitOutput(&f, &error));
    umask(mask);
    EXPECT_TRUE(ReadAll(In("f.png")) == "new" && fs::is_symlink(In("link.png")));
    EXPECT_EQ(fs::status(In("f.png")).permissions(), fs::perms(0644));
    EXPECT_EQ(Entries(), 3u);
    // A signal's way out removes the files still being written.
    const pid_t child = fork();
    if (child == 0) {
        OutputFile a, b;
        OpenOutput(In("a"), &a, &error), OpenOutput(In("b"), &b, &error);
        DiscardAllOutputsAndExit(130);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 130);
    EXPECT_EQ(Entries(), 3u);
}

TEST_F(RenderTool, ARunWritesTheSceneBuiltHere)
{
    const std::string command = std::string(GLYPHFALL_RENDER_BINARY) + " --screen 1024x768 --seed 12345 --steps 3" +
                                " --twotone " + In("t.png") + " --frame " + In("f.png") + " --blocks " + In("b.csv");
    FILE* tool = popen(command.c_str(), "r");
    ASSERT_NE(tool, nullptr);
    char line[100] = "";
    EXPECT_NE(std::fgets(line, sizeof line, tool), nullptr);
    EXPECT_EQ(pclose(tool), 0);

    std::string error;
    ASSERT_TRUE(CreateRaster(1024, 768, &error) && SetRasterFont("Times New Roman", 96, &error)) << error;
    RandSeed = 12345;
    Running.store(true);
    NewScene();
    const std::vector<uint8_t> twoTone = Pixels();
    for (int step = 0; step < 3; ++step) {
        AttractionStep(BlockList.data(), BlockList.size());
        PositionUpdate(BlockList.data(), BlockList.size());
        RenderFrame();
    }
    char want[100];
    std::snprintf(want, sizeof want, "letter 0x%02X U+%04X blocks %zu\n", SceneLetter, 0x0410 + SceneLetter - 0xC0,
                  BlockList.size());
    EXPECT_STREQ(line, want);
    for (const auto& [name, pixels] : {std::pair{"t.png", twoTone}, {"f.png", Pixels()}}) {
        png_image png{};
        png.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_file(&png, In(name).c_str())) << name;
        EXPECT_TRUE(png.width == 200 && png.height == 150 && png.format == PNG_FORMAT_RGB) << name;
        png.format = PNG_FORMAT_BGR;
        std::vector<uint8_t> got(PNG_IMAGE_SIZE(png));
        EXPECT_TRUE(png_image_finish_read(&png, nullptr, got.data(), 0, nullptr) && got == pixels) << name;
    }
    std::istringstream csv(ReadAll(In("b.csv")));
    std::string row;
    std::getline(csv, row);
    EXPECT_EQ(row, "index,SizeX,SizeY,X,Y,VX,VY,Mass,Half,Red,Green,Blue");
    std::vector<Block> blocks;
    while (std::getline(csv, row)) {
        double f[12] = {};
        std::istringstream cells(row);
        std::string cell;
        for (int i = 0; i < 12 && std::getline(cells, cell, ','); ++i)
            f[i] = std::strtod(cell.c_str(), nullptr);
        blocks.push_back({int32_t(f[1]), int32_t(f[2]), f[3], f[4], f[5], f[6], uint32_t(f[7]), f[8],
                          {uint8_t(f[11]), uint8_t(f[10]), uint8_t(f[9])}});
    }
    EXPECT_TRUE(SameBlocks(blocks, BlockList));
    RequestStop();
    BlockList.clear();
    ReleaseRaster();
}
