// glyphfall-render: builds one scene with the program's own code, on the
// headless backend, from a given seed instead of the clock; runs a number of
// animation steps; and writes the pictures and the blocks to files.
#include <csignal>
#include <cstdio>
#include <string>

#include "animation/animation.h"
#include "common/random.h"
#include "common/state.h"
#include "glyphfall-render/options.h"
#include "shell/command_line.h"
#include "glyphfall-render/files.h"
#include "glyphfall-render/webp.h"
#include "scene/scene.h"
#include "shell/shell.h"

// Exit code 2 covers every file that cannot be written, whether found at
// the start or (disk full, say) at the end; 1 is left for a broken
// environment.

// Outputs in a fixed place for the life of the process: the signal handler
// reaches their temporary names.
static OutputFile TwoToneFile, FrameFile, BlocksFile, WebpFile;

static void DiscardAll()
{
    DiscardOutput(&TwoToneFile);
    DiscardOutput(&FrameFile);
    DiscardOutput(&BlocksFile);
    DiscardOutput(&WebpFile);
    EndWebp(nullptr, nullptr);
}

// The one place a run ends early: the message, the clean-up, the code.
static int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "glyphfall-render: %s\n", message.c_str());
    DiscardAll();
    ReleaseScenes();
    return code;
}

static void OnSignal(int signal)
{
    DiscardAllOutputsAndExit(128 + signal);
}

static void InstallSignalHandlers()
{
    struct sigaction action = {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
}

// Opens every output that was asked for before any work is done, so that an
// unwritable name is reported at once.
static bool OpenOutputs(const RenderArgs& args, std::string* error)
{
    const struct { const std::string* path; OutputFile* file; } outputs[] = {
        {&args.TwoTonePath, &TwoToneFile}, {&args.FramePath, &FrameFile}, {&args.BlocksPath, &BlocksFile},
        {&args.WebpPath, &WebpFile}};
    for (const auto& o : outputs)
        if (!o.path->empty() && !OpenOutput(*o.path, o.file, error))
            return false;
    return true;
}

int main(int argc, char** argv)
{
    RenderArgs args;
    std::string error;
    if (!ParseRenderArgs(argc, argv, &args, &error))
        return Fail(ExitBadArgument, error);
    if (args.Help) {
        std::fputs(RenderUsage, stdout);
        return ExitOk;
    }
    if (RasterWidthFor(args.ScreenWidth, args.ScreenHeight) <= 0)
        return Fail(ExitBadArgument, "--screen " + Quoted(std::to_string(args.ScreenWidth) + "x" +
                                                                std::to_string(args.ScreenHeight)) +
                                         ": too narrow, the picture would have no columns");

    InstallSignalHandlers();
    if (!OpenOutputs(args, &error))
        return Fail(ExitBadArgument, error);

    // Start-up's set-up for this screen: the raster, the generator, the
    // font; then the given seed in place of the clock's.
    ScreenWidth = args.ScreenWidth;
    ScreenHeight = args.ScreenHeight;
    ScreenDpi = args.Dpi;
    if (SetUpScenes(Program{}, &error) != SetUpDone)
        return Fail(ExitFailure, error);
    RandSeed = args.Seed;

    // The scene, as the program builds it; the headless backend's sleeps take
    // no time, so without the pauses. Running must be on for NewScene to hand
    // the scene to the animation (Animating), which the attraction step checks.
    Running.store(true);
    Animating.store(false);
    NewScene();
    const uint8_t letter = SceneLetter;

    // NewScene ends with the raster as the conversion left it: the
    // decomposition only reads it.
    if (TwoToneFile.Stream && !WritePng(TwoToneFile.Stream, RowTable, RasterWidth, RasterHeight, &error))
        return Fail(ExitBadArgument, "cannot write " + Quoted(args.TwoTonePath) + ": " + error);

    // The animation opens on the two-tone letter, shown for its second.
    constexpr int LetterMs = 1000, FrameMs = 40;
    if (WebpFile.Stream && (!BeginWebp(RasterWidth, RasterHeight, args.Scale, &error) ||
                            !AddWebpFrame(RowTable, LetterMs, &error)))
        return Fail(ExitFailure, error);

    // The animation thread's step without its scene clock, which would read
    // the wall clock and make the output depend on the machine's speed.
    for (uint32_t step = 0; step < args.Steps; ++step) {
        MoveAndRender();
        if (WebpFile.Stream && (step + 1) % args.Every == 0 && !AddWebpFrame(RowTable, FrameMs, &error))
            return Fail(ExitFailure, error);
    }
    if (WebpFile.Stream && !EndWebp(WebpFile.Stream, &error))
        return Fail(ExitBadArgument, "cannot write " + Quoted(args.WebpPath) + ": " + error);

    if (FrameFile.Stream && !WritePng(FrameFile.Stream, RowTable, RasterWidth, RasterHeight, &error))
        return Fail(ExitBadArgument, "cannot write " + Quoted(args.FramePath) + ": " + error);
    if (BlocksFile.Stream && !WriteBlocksCsv(BlocksFile.Stream, BlockList, &error))
        return Fail(ExitBadArgument, "cannot write " + Quoted(args.BlocksPath) + ": " + error);
    for (OutputFile* file : {&TwoToneFile, &FrameFile, &BlocksFile, &WebpFile})
        if (file->Stream && !CommitOutput(file, &error))
            return Fail(ExitBadArgument, error);

    std::printf("letter 0x%02X U+%04X blocks %zu\n", unsigned(letter), 0x0410u + (letter - 0xC0u),
                BlockList.size());
    Running.store(false);
    Animating.store(false);
    ReleaseScenes();
    return std::fflush(stdout) == 0 ? ExitOk : ExitFailure;
}
