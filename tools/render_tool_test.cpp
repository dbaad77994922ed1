// glyphfall-render, run as a separate process: its files against the same
// scene built here in-process, its messages and exit codes for bad
// arguments, and that a failed or interrupted run leaves nothing behind.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "animation/animation.h"
#include "common/random.h"
#include "common/state.h"
#include "scene/scene.h"

extern char** environ;
namespace fs = std::filesystem;

namespace {

struct RunResult {
    int Code = -1;   // exit code, or -signal
    std::string Out, Err;
};

std::string ReadAll(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Starts the tool with args, stdout and stderr going to files in dir. Returns
// its pid, or -1.
pid_t StartTool(const std::vector<std::string>& args, const fs::path& dir)
{
    std::vector<char*> argv;
    std::string program = GLYPHFALL_RENDER_BINARY;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out = (dir / "stdout").string(), err = (dir / "stderr").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    // Sanitizer builds: the leak checker's list of suppressions used would
    // otherwise end up in the tool's stderr, which the tests read.
    std::vector<std::string> env;
    bool hasLsan = false;
    for (char** e = environ; *e; ++e) {
        env.emplace_back(*e);
        if (env.back().rfind("LSAN_OPTIONS=", 0) == 0) {
            env.back() += ":print_suppressions=0";
            hasLsan = true;
        }
    }
    if (!hasLsan)
        env.emplace_back("LSAN_OPTIONS=print_suppressions=0");
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

RunResult Finish(pid_t pid, const fs::path& dir)
{
    RunResult r;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    r.Code = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
    r.Out = ReadAll(dir / "stdout");
    r.Err = ReadAll(dir / "stderr");
    fs::remove(dir / "stdout");
    fs::remove(dir / "stderr");
    return r;
}

// The scene the tool must have computed, built here with the same calls.
struct Scene {
    uint8_t Letter = 0;
    int32_t Width = 0;
    std::vector<Block> Blocks;
    std::vector<uint8_t> TwoTone, Frame;   // packed rows, blue-green-red
};

std::vector<uint8_t> Packed()
{
    std::vector<uint8_t> out;
    for (int32_t y = 0; y < RasterHeight; ++y)
        out.insert(out.end(), RowTable[y], RowTable[y] + size_t(RasterWidth) * 3);
    return out;
}

Scene BuildScene(int32_t w, int32_t h, int dpi, uint32_t seed, uint32_t steps)
{
    Scene s;
    std::string error;
    if (!CreateRaster(w, h, &error))
        ADD_FAILURE() << error;
    RandSeed = seed;
    if (!SetRasterFont("Times New Roman", dpi, &error))
        ADD_FAILURE() << error;
    Running.store(true);
    Animating.store(false);
    PausePercent.store(0);
    NewScene();
    s.Letter = SceneLetter;
    s.Width = RasterWidth;
    s.TwoTone = Packed();
    for (uint32_t i = 0; i < steps; ++i) {
        if (!BlockList.empty()) {
            AttractionStep(BlockList.data(), BlockList.size());
            PositionUpdate(BlockList.data(), BlockList.size());
        }
        RenderFrame();
    }
    s.Frame = Packed();
    s.Blocks = BlockList;
    Running.store(false);
    Animating.store(false);
    PausePercent.store(100);
    BlockList.clear();
    ReleaseRaster();
    return s;
}

struct Png {
    bool Ok = false;
    std::string Error;
    uint32_t Width = 0, Height = 0;
    int ColourType = -1, BitDepth = 0;
    std::vector<uint8_t> Bgr;   // packed rows, converted back to the raster's order
};

Png ReadPng(const fs::path& path)
{
    Png result;
    png_image image = {};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) {
        result.Error = image.message;
        return result;
    }
    result.Width = image.width;
    result.Height = image.height;
    result.ColourType = (image.format & PNG_FORMAT_FLAG_COLOR) ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_GRAY;
    result.BitDepth = (image.format & PNG_FORMAT_FLAG_LINEAR) ? 16 : 8;
    const bool hasAlpha = image.format & PNG_FORMAT_FLAG_ALPHA;
    image.format = PNG_FORMAT_BGR;
    result.Bgr.resize(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, result.Bgr.data(), 0, nullptr)) {
        result.Error = image.message;
        return result;
    }
    result.Ok = !hasAlpha;
    if (hasAlpha)
        result.Error = "has an alpha channel";
    return result;
}

// Parses the CSV back; fails with the first line that does not fit.
::testing::AssertionResult ParseCsv(const std::string& text, std::vector<Block>* blocks)
{
    std::istringstream in(text);
    std::string line;
    std::getline(in, line);
    if (line != "index,SizeX,SizeY,X,Y,VX,VY,Mass,Half,Red,Green,Blue")
        return ::testing::AssertionFailure() << "header: " << line;
    size_t index = 0;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::stringstream fields(line);
        for (std::string cell; std::getline(fields, cell, ',');)
            f.push_back(cell);
        if (f.size() != 12 || f[0] != std::to_string(index))
            return ::testing::AssertionFailure() << "row " << index << ": " << line;
        // The reals must be hexadecimal literals, the rest plain decimals.
        for (int r : {3, 4, 5, 6, 8})
            if (f[r].find("0x") == std::string::npos)
                return ::testing::AssertionFailure() << "row " << index << " field " << r << " not %a: " << f[r];
        Block b = {};
        b.SizeX = std::stoi(f[1]);
        b.SizeY = std::stoi(f[2]);
        b.X = std::strtod(f[3].c_str(), nullptr);
        b.Y = std::strtod(f[4].c_str(), nullptr);
        b.VX = std::strtod(f[5].c_str(), nullptr);
        b.VY = std::strtod(f[6].c_str(), nullptr);
        b.Mass = uint32_t(std::stoul(f[7]));
        b.Half = std::strtod(f[8].c_str(), nullptr);
        b.Colour.Red = uint8_t(std::stoi(f[9]));
        b.Colour.Green = uint8_t(std::stoi(f[10]));
        b.Colour.Blue = uint8_t(std::stoi(f[11]));
        blocks->push_back(b);
        ++index;
    }
    return ::testing::AssertionSuccess();
}

bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Field by field, reals by their bits; names the first block that differs.
::testing::AssertionResult SameBlocks(const std::vector<Block>& got, const std::vector<Block>& want)
{
    if (got.size() != want.size())
        return ::testing::AssertionFailure() << "got " << got.size() << " blocks, expected " << want.size();
    for (size_t i = 0; i < got.size(); ++i) {
        const Block& g = got[i];
        const Block& w = want[i];
        if (g.SizeX != w.SizeX || g.SizeY != w.SizeY || !SameBits(g.X, w.X) || !SameBits(g.Y, w.Y) ||
            !SameBits(g.VX, w.VX) || !SameBits(g.VY, w.VY) || g.Mass != w.Mass || !SameBits(g.Half, w.Half) ||
            g.Colour.Red != w.Colour.Red || g.Colour.Green != w.Colour.Green || g.Colour.Blue != w.Colour.Blue) {
            char text[400];
            std::snprintf(text, sizeof text,
                          "block %zu: got size %d,%d pos %a,%a vel %a,%a mass %u half %a rgb %u,%u,%u; expected "
                          "size %d,%d pos %a,%a vel %a,%a mass %u half %a rgb %u,%u,%u",
                          i, g.SizeX, g.SizeY, g.X, g.Y, g.VX, g.VY, g.Mass, g.Half, g.Colour.Red, g.Colour.Green,
                          g.Colour.Blue, w.SizeX, w.SizeY, w.X, w.Y, w.VX, w.VY, w.Mass, w.Half, w.Colour.Red,
                          w.Colour.Green, w.Colour.Blue);
            return ::testing::AssertionFailure() << text;
        }
    }
    return ::testing::AssertionSuccess();
}

std::string LetterLine(const Scene& s)
{
    char line[80];
    std::snprintf(line, sizeof line, "letter 0x%02X U+%04X blocks %zu\n", s.Letter, 0x0410u + (s.Letter - 0xC0u),
                  s.Blocks.size());
    return line;
}

// Every test works in its own empty directory, removed afterwards.
class RenderTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        char name[] = "/tmp/glyphfall-render-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr) << std::strerror(errno);
        Dir = name;
        Work = Dir / "work";
        fs::create_directory(Work);
    }
    void TearDown() override { fs::remove_all(Dir); }

    RunResult Run(const std::vector<std::string>& args)
    {
        const pid_t pid = StartTool(args, Dir);
        if (pid < 0)
            return RunResult{};
        return Finish(pid, Dir);
    }

    std::string In(const char* name) const { return (Work / name).string(); }

    // Names left in the work directory.
    std::vector<std::string> Left() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(Work))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path Dir, Work;
};

} // namespace

TEST_F(RenderTool, DefaultsPrintTheSceneLineAndWriteNothing)
{
    const RunResult r = Run({});
    const Scene s = BuildScene(1920, 1080, 96, 0, 0);
    EXPECT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(r.Out, LetterLine(s));
    EXPECT_EQ(r.Err, "");
    EXPECT_TRUE(Left().empty());
}

TEST_F(RenderTool, CsvRoundTripsBitForBit)
{
    const struct { const char* screen; int32_t w, h; int dpi; uint32_t seed, steps; } cases[] = {
        {"1920x1080", 1920, 1080, 96, 0, 0},
        {"1024x768", 1024, 768, 96, 12345, 3},   // moved blocks: velocities and positions off the grid
        {"1080x1920", 1080, 1920, 120, 4000000000u, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.screen << " dpi " << c.dpi << " seed " << c.seed << " steps "
                                          << c.steps);
        const RunResult r = Run({"--screen", c.screen, "--dpi", std::to_string(c.dpi), "--seed",
                                 std::to_string(c.seed), "--steps", std::to_string(c.steps), "--blocks",
                                 In("b.csv")});
        ASSERT_EQ(r.Code, 0) << r.Err;
        const Scene s = BuildScene(c.w, c.h, c.dpi, c.seed, c.steps);
        EXPECT_EQ(r.Out, LetterLine(s));
        std::vector<Block> parsed;
        ASSERT_TRUE(ParseCsv(ReadAll(In("b.csv")), &parsed));
        EXPECT_TRUE(SameBlocks(parsed, s.Blocks));
        if (c.steps > 0 && !s.Blocks.empty()) {
            EXPECT_NE(s.Blocks[0].VX, 0.0) << "the steps should have moved the blocks";
        }
    }
}

TEST_F(RenderTool, PngsHaveTheRasterSizeAndItsPixels)
{
    const struct { const char* screen; int32_t w, h; uint32_t columns; } cases[] = {
        {"1920x1080", 1920, 1080, 267}, {"1024x768", 1024, 768, 200}, {"1080x1920", 1080, 1920, 84},
        {"16384x100", 16384, 100, 24576},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.screen);
        const RunResult r = Run({"--screen", c.screen, "--seed", "77", "--steps", "2", "--twotone",
                                 In("t.png"), "--frame", In("f.png")});
        ASSERT_EQ(r.Code, 0) << r.Err;
        const Scene s = BuildScene(c.w, c.h, 96, 77, 2);
        const Png t = ReadPng(In("t.png")), f = ReadPng(In("f.png"));
        ASSERT_TRUE(t.Ok) << t.Error;
        ASSERT_TRUE(f.Ok) << f.Error;
        for (const Png* p : {&t, &f}) {
            EXPECT_EQ(p->Width, c.columns);
            EXPECT_EQ(p->Height, 150u);
            EXPECT_EQ(p->ColourType, PNG_COLOR_TYPE_RGB);
            EXPECT_EQ(p->BitDepth, 8);
        }
        EXPECT_TRUE(t.Bgr == s.TwoTone) << "two-tone picture differs from the in-process one";
        EXPECT_TRUE(f.Bgr == s.Frame) << "last frame differs from the in-process one";
        EXPECT_FALSE(t.Bgr == f.Bgr) << "a rendered frame is coloured, the two-tone picture is not";
    }
}

TEST_F(RenderTool, WithoutStepsTheFrameIsTheTwoTonePicture)
{
    const RunResult r = Run({"--seed", "3", "--twotone", In("t.png"), "--frame", In("f.png")});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(ReadAll(In("t.png")), ReadAll(In("f.png")));
}

TEST_F(RenderTool, SameArgumentsGiveTheSameBytes)
{
    auto run = [&](const char* seed, const char* tag) {
        const std::string t = In((std::string(tag) + ".t.png").c_str()), f = In((std::string(tag) + ".f.png").c_str()),
                          b = In((std::string(tag) + ".csv").c_str());
        const RunResult r = Run({"--screen", "1280x1024", "--seed", seed, "--steps", "5", "--twotone", t,
                                 "--frame", f, "--blocks", b});
        EXPECT_EQ(r.Code, 0) << r.Err;
        return r.Out + ReadAll(t) + ReadAll(f) + ReadAll(b);
    };
    const std::string first = run("9", "a"), second = run("9", "b"), other = run("10", "c");
    EXPECT_GT(first.size(), 1000u);
    EXPECT_TRUE(first == second) << "two runs with the same arguments differ";
    EXPECT_FALSE(first == other) << "another seed gave the same output";
}

TEST_F(RenderTool, OptionsAcceptTheirValueAfterAnEqualsSign)
{
    const RunResult a = Run({"--screen=1024x768", "--seed=5", "--blocks=" + In("a.csv")});
    const RunResult b = Run({"--screen", "1024x768", "--seed", "5", "--blocks", In("b.csv")});
    ASSERT_EQ(a.Code, 0) << a.Err;
    ASSERT_EQ(b.Code, 0) << b.Err;
    EXPECT_EQ(a.Out, b.Out);
    EXPECT_EQ(ReadAll(In("a.csv")), ReadAll(In("b.csv")));
}

TEST_F(RenderTool, HelpGoesToStandardOutput)
{
    const RunResult r = Run({"--help"});
    EXPECT_EQ(r.Code, 0);
    EXPECT_NE(r.Out.find("usage: glyphfall-render"), std::string::npos) << r.Out;
    EXPECT_EQ(r.Err, "");
}

TEST_F(RenderTool, BadArgumentsGetOneLineAndCodeTwo)
{
    fs::create_directory(Work / "sub");
    const std::string frame = In("frame.png");
    const struct { std::vector<std::string> args; std::string message; } cases[] = {
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"--bogus=1"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"stray"}, "unexpected argument 'stray'"},
        {{"--bad\noption"}, "unknown option '--bad\\x0Aoption'"},
        {{"--screen"}, "--screen needs a value"},
        {{"--screen", "1920"}, "--screen '1920': expected WIDTHxHEIGHT"},
        {{"--screen", "1920x"}, "expected WIDTHxHEIGHT"},
        {{"--screen", "x1080"}, "expected WIDTHxHEIGHT"},
        {{"--screen", "19a0x1080"}, "expected WIDTHxHEIGHT"},
        {{"--screen", "1920x1080x3"}, "expected WIDTHxHEIGHT"},
        {{"--screen", "+5x5"}, "expected WIDTHxHEIGHT"},
        {{"--screen", " 5x5"}, "expected WIDTHxHEIGHT"},
        {{"--screen", "0x1080"}, "--screen '0x1080': width and height must be at least 1"},
        {{"--screen", "1920x0"}, "must be at least 1"},
        {{"--screen", "-5x100"}, "must be at least 1"},
        {{"--screen", "100x-1"}, "must be at least 1"},
        {{"--screen", "16385x100"}, "--screen '16385x100': width and height must be at most 16384"},
        {{"--screen", "100x16385"}, "must be at most 16384"},
        {{"--screen", "100x99999999999999999999999"}, "must be at most 16384"},
        {{"--screen", "1x1000"}, "--screen '1x1000': too narrow"},
        {{"--dpi", "0"}, "--dpi '0': expected a whole number from 1 to 1200"},
        {{"--dpi", "1201"}, "--dpi '1201': expected a whole number from 1 to 1200"},
        {{"--dpi", "-96"}, "from 1 to 1200"},
        {{"--dpi", "96.5"}, "from 1 to 1200"},
        {{"--dpi", ""}, "from 1 to 1200"},
        {{"--dpi"}, "--dpi needs a value"},
        {{"--seed", "4294967296"}, "--seed '4294967296': expected a whole number from 0 to 4294967295"},
        {{"--seed", "-1"}, "from 0 to 4294967295"},
        {{"--steps", "ten"}, "--steps 'ten': expected a whole number from 0 to 4294967295"},
        {{"--frame", ""}, "--frame needs a file name"},
        {{"--frame", In("missing/f.png")}, "cannot write '" + In("missing/f.png") + "': No such file"},
        {{"--blocks", In("sub")}, "cannot write '" + In("sub") + "': it is a directory"},
        {{"--frame", "/dev/null"}, "cannot write '/dev/null': it is not a regular file"},
        {{"--frame", frame, "--twotone", frame}, "--twotone and --frame name the same file"},
        // The frame could be written, the blocks cannot: neither appears.
        {{"--frame", frame, "--blocks", In("missing/b.csv")}, "cannot write"},
        {{"--frame", frame, "--dpi", "0"}, "--dpi '0'"},
    };
    for (const auto& c : cases) {
        std::string shown;
        for (const std::string& a : c.args)
            shown += " [" + a + "]";
        SCOPED_TRACE(shown);
        const RunResult r = Run(c.args);
        EXPECT_EQ(r.Code, 2);
        EXPECT_EQ(r.Out, "");
        EXPECT_EQ(r.Err.rfind("glyphfall-render: ", 0), 0u) << r.Err;
        EXPECT_NE(r.Err.find(c.message), std::string::npos) << "got: " << r.Err << "expected: " << c.message;
        EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
        EXPECT_EQ(r.Err.back(), '\n');
        EXPECT_EQ(Left(), std::vector<std::string>{"sub"}) << "something was left in the work directory";
    }
}

TEST_F(RenderTool, FailedRunKeepsTheOldFileAndSuccessReplacesIt)
{
    {
        std::ofstream old(In("f.png"));
        old << "old content";
    }
    fs::create_symlink(In("f.png"), In("link.png"));
    RunResult r = Run({"--frame", In("f.png"), "--blocks", In("missing/b.csv")});
    EXPECT_EQ(r.Code, 2);
    EXPECT_EQ(ReadAll(In("f.png")), "old content");

    // Through the link: the link stays and its target gets the picture.
    r = Run({"--frame", In("link.png")});
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_TRUE(fs::is_symlink(In("link.png")));
    EXPECT_TRUE(ReadPng(In("f.png")).Ok);
    EXPECT_EQ(Left(), (std::vector<std::string>{"f.png", "link.png"}));
}

TEST_F(RenderTool, WrittenFilesGetTheUsualPermissions)
{
    const mode_t mask = umask(022);
    const RunResult r = Run({"--blocks", In("b.csv")});
    umask(mask);
    ASSERT_EQ(r.Code, 0) << r.Err;
    EXPECT_EQ(fs::status(In("b.csv")).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read);
}

TEST_F(RenderTool, InterruptedRunLeavesNothingBehind)
{
    for (int signal : {SIGINT, SIGTERM}) {
        // Far more steps than can finish: the run is inside the step loop
        // when the signal arrives.
        const pid_t pid = StartTool({"--steps", "4000000000", "--frame", In("f.png"), "--blocks", In("b.csv")}, Dir);
        ASSERT_GT(pid, 0);
        // Wait until the temporary files exist, so that the signal lands
        // after they were made.
        for (int i = 0; i < 500 && Left().size() < 2; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        EXPECT_EQ(Left().size(), 2u) << "temporary files while running";
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        kill(pid, signal);
        const RunResult r = Finish(pid, Dir);
        EXPECT_EQ(r.Code, 128 + signal);
        EXPECT_TRUE(Left().empty()) << "left: " << (Left().empty() ? "" : Left()[0]);
    }
}
