// glyphfall-xscreensaver end to end: under the real XScreenSaver daemon (run
// as nobody, which it requires), in a preview window of the test's own, and
// paced by --delay.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/e2e/harness.h"

// True when the w x h area at (left, top) shows a raster of rasterWidth x
// 150 enlarged exactly: every pixel has the colour of the first pixel of its
// cell, screen column x lying in raster column floor(x * rasterWidth / w).
static bool ExactlyEnlarged(const Screenshot& s, int left, int top, int w, int h, int rasterWidth)
{
    auto first = [](int cell, int raster, int screen) { return int((int64_t(cell) * screen + raster - 1) / raster); };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const int fx = first(int(int64_t(x) * rasterWidth / w), rasterWidth, w);
            const int fy = first(int(int64_t(y) * 150 / h), 150, h);
            if (s.At(left + x, top + y) != s.At(left + fx, top + fy)) {
                std::printf("[e2e] (%d, %d) differs from its cell's first pixel (%d, %d)\n", x, y, fx, fy);
                return false;
            }
        }
    return true;
}

static int RasterWidthFor(int w, int h)
{
    return int(std::nearbyint(150.0 * w / h));
}

// User plus system CPU time of a process so far, in seconds.
static double CpuSeconds(pid_t pid)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()), field;
    std::istringstream rest(text.substr(text.rfind(')') + 2));
    double ticks = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i)
        if (i >= 14)
            ticks += std::stod(field);
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// The pid of the process running the hack, 0 when there is none.
static pid_t HackPid()
{
    pid_t found = 0;
    DIR* proc = opendir("/proc");
    while (dirent* e = proc ? readdir(proc) : nullptr) {
        std::ifstream in(std::string("/proc/") + e->d_name + "/cmdline");
        std::string argv0;
        if (std::getline(in, argv0, '\0') && argv0 == GLYPHFALL_HACK)
            found = pid_t(std::atoi(e->d_name));
    }
    if (proc)
        closedir(proc);
    return found;
}

struct Hack : E2e {
    void Start(const Strings& args)
    {
        Strings argv = {GLYPHFALL_HACK};
        argv.insert(argv.end(), args.begin(), args.end());
        std::string error;
        ASSERT_TRUE(SpawnProgram(&Prog, argv, ProgramEnvironment({"DISPLAY=" + Server.Name}), TempDir, &error));
    }
    // Runs cmd as nobody with the private home; true when it exits 0.
    bool AsNobody(Program* p, const Strings& cmd, const std::string& home)
    {
        Strings argv = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
        argv.insert(argv.end(), cmd.begin(), cmd.end());
        std::string error;
        return SpawnProgram(p, argv, ProgramEnvironment({"DISPLAY=" + Server.Name, "HOME=" + home}), TempDir,
                            &error) &&
               (cmd[0] != "/usr/bin/xscreensaver-command" ||
                (WaitExit(p, Ms(5000)) && WIFEXITED(p->ExitStatus) && WEXITSTATUS(p->ExitStatus) == 0));
    }
};

TEST_F(Hack, DaemonStartsItOnActivateAndEndsItOnDeactivate)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(640, 480, {"-ac", "-br", "-noreset"}));
    const std::string home = TempDir + "/home";
    chmod(TempDir.c_str(), 0755);
    mkdir(home.c_str(), 0755);
    std::ofstream(home + "/.xscreensaver") << "programs: " GLYPHFALL_HACK " --root\nmode: one\nselected: 0\n"
                                           << "fade: False\nunfade: False\nlock: False\nsplash: False\n";
    ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
    Program daemon, command;
    ASSERT_TRUE(AsNobody(&daemon, {"/usr/bin/xscreensaver", "-no-splash"}, home));
    bool active = false;
    for (int i = 0; i < 50 && !active; ++i, std::this_thread::sleep_for(Ms(200)))
        active = AsNobody(&command, {"/usr/bin/xscreensaver-command", "-activate"}, home);
    ASSERT_TRUE(active) << ReadStderr(command) << ReadStderr(daemon);

    Screenshot shot;
    EXPECT_TRUE(WaitForScreen(Server.Conn, Ms(20000), IsTwoTone, &shot)) << ReadStderr(daemon);
    EXPECT_TRUE(ExactlyEnlarged(shot, 0, 0, 640, 480, RasterWidthFor(640, 480)));
    EXPECT_TRUE(WaitForScreen(Server.Conn, Ms(20000), HasColour, &shot)) << ReadStderr(daemon);
    EXPECT_TRUE(ExactlyEnlarged(shot, 0, 0, 640, 480, RasterWidthFor(640, 480)));
    const pid_t hack = HackPid();
    ASSERT_NE(hack, 0) << "the daemon runs no glyphfall-xscreensaver";

    const auto deactivated = Clock::now();
    EXPECT_TRUE(AsNobody(&command, {"/usr/bin/xscreensaver-command", "-deactivate"}, home));
    // The daemon takes its time to send SIGTERM; the hack's own share is
    // bounded by the direct SIGTERM tests below.
    while (kill(hack, 0) == 0 && Clock::now() < deactivated + Ms(5000))
        std::this_thread::sleep_for(Ms(1));
    std::printf("[e2e] hack gone %.0f ms after -deactivate\n", std::chrono::duration<double, std::milli>(Clock::now() - deactivated).count());
    EXPECT_NE(kill(hack, 0), 0) << "the hack still runs 5 s after -deactivate";
    KillProgram(&daemon);
}

TEST_F(Hack, PreviewWindowShowsTheExactPictureAndItsEndEndsTheHack)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(640, 480, {"-br"}));
    ASSERT_NO_FATAL_FAILURE(Start({"--delay", "20 ms"}));
    EXPECT_TRUE(ExpectExit(Prog.Started, Ms(5000), 2, "a bad --delay"));
    const std::string message = ReadStderr(Prog);
    EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;

    Display* d = Server.Conn;
    const Window preview = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 320, 240, 0, 0, 0x808080);
    XMapWindow(d, preview);
    XSync(d, False);
    char id[32];
    std::snprintf(id, sizeof id, "0x%lx", preview);
    ASSERT_NO_FATAL_FAILURE(Start({"-window-id", id}));
    Screenshot shot;
    ASSERT_TRUE(WaitForPhase(true, &shot));
    EXPECT_TRUE(ExactlyEnlarged(shot, 0, 0, 320, 240, RasterWidthFor(320, 240)));
    ASSERT_TRUE(WaitForPhase(false, &shot));
    EXPECT_TRUE(ExactlyEnlarged(shot, 0, 0, 320, 240, RasterWidthFor(320, 240)));

    XDestroyWindow(d, preview);
    XSync(d, False);
    EXPECT_TRUE(ExpectExit(Clock::now(), Ms(1000), 0, "window destroyed"));
    EXPECT_EQ(ReadStderr(Prog), "");
}

TEST_F(Hack, DelayBoundsTheStepRateAndSigtermEndsItPromptly)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(640, 480, {"-br"}));
    double cpu[2];
    for (int delay : {20000, 0}) {
        ASSERT_NO_FATAL_FAILURE(Start({"--root", "--delay", std::to_string(delay)}));
        ASSERT_TRUE(WaitForPhase(false));
        const double before = CpuSeconds(Prog.Pid);
        std::this_thread::sleep_for(Ms(3000));
        cpu[delay == 0] = (CpuSeconds(Prog.Pid) - before) / 3.0;
        const auto signalled = Clock::now();
        kill(Prog.Pid, SIGTERM);
        EXPECT_TRUE(ExpectExit(signalled, Ms(300), 0, "SIGTERM, --delay " + std::to_string(delay)));
    }
    std::printf("[e2e] CPU share: %.3f with --delay 20000, %.3f with --delay 0\n", cpu[0], cpu[1]);
    // At most 50 steps a second against back-to-back steps: a small
    // fraction of the CPU, even on a slow or busy machine.
    EXPECT_LT(cpu[0] * 5, cpu[1]);
}
