// glyphfall-xscreensaver end to end: under the real XScreenSaver daemon (run
// as nobody, which it requires), in a preview window of the test's own, and
// paced by --delay.
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "tests/e2e/harness.h"

// User plus system CPU seconds of a process so far (fields 14 and 15 of its stat).
static double CpuSeconds(pid_t pid)
{
    FILE* f = std::fopen(("/proc/" + std::to_string(pid) + "/stat").c_str(), "r");
    unsigned long user = 0, system = 0;
    if (f && std::fscanf(f, "%*d %*s %*c %*d %*d %*d %*d %*d %*u %*u %*u %*u %*u %lu %lu", &user, &system) != 2)
        user = system = 0;
    if (f)
        std::fclose(f);
    return double(user + system) / double(sysconf(_SC_CLK_TCK));
}

// The pid of the process running the hack at path, 0 when there is none.
static pid_t HackPid(const std::string& path)
{
    int pid = 0;
    if (FILE* p = popen(("pgrep -o -f '^" + path + " '").c_str(), "r")) {
        if (std::fscanf(p, "%d", &pid) != 1)
            pid = 0;
        pclose(p);
    }
    return pid;
}

struct Hack : E2e {
    void Start(Strings args)
    {
        args.insert(args.begin(), GLYPHFALL_HACK);
        std::string error;
        ASSERT_TRUE(SpawnProgram(&Prog, args, ProgramEnvironment({"DISPLAY=" + Server.Name}), TempDir, &error));
    }
    // Starts cmd as nobody, with home as its HOME. Nobody may not reach the
    // build tree: the sanitizers' suppression files it names are copied into
    // the test's own (world-readable) directory.
    bool AsNobody(Program* p, Strings cmd, const std::string& home)
    {
        cmd.insert(cmd.begin(), {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"});
        Strings env = {"DISPLAY=" + Server.Name, "HOME=" + home};
        for (const std::string name : {"LSAN_OPTIONS", "TSAN_OPTIONS"}) {
            std::string options = std::getenv(name.c_str()) ? std::getenv(name.c_str()) : "";
            const size_t at = options.find("suppressions="), from = at + 13;
            if (at == options.npos)
                continue;
            const std::string copy = TempDir + "/" + name + ".supp";
            std::filesystem::copy_file(options.substr(from, options.find(' ', from) - from), copy,
                                       std::filesystem::copy_options::overwrite_existing);
            env.push_back(name + "=" + options.replace(from, options.find(' ', from) - from, copy));
        }
        std::string error;
        return SpawnProgram(p, cmd, ProgramEnvironment(env), TempDir, &error);
    }
};

TEST_F(Hack, DaemonStartsItOnActivateAndEndsItOnDeactivate)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(640, 480, {"-ac", "-br", "-noreset"}));
    // The daemon runs as nobody, who may not reach the build tree: it runs a
    // copy of the hack in the test's own directory.
    const std::string home = TempDir + "/home", hackCopy = TempDir + "/glyphfall-xscreensaver";
    chmod(TempDir.c_str(), 0755);
    mkdir(home.c_str(), 0755);
    std::filesystem::copy_file(GLYPHFALL_HACK, hackCopy);
    chmod(hackCopy.c_str(), 0755);
    std::ofstream(home + "/.xscreensaver") << "programs: " << hackCopy << " --root\nmode: one\nselected: 0\n"
                                           << "fade: False\nunfade: False\nlock: False\nsplash: False\n";
    ASSERT_EQ(chown(home.c_str(), 65534, 65534), 0);
    Program daemon;
    ASSERT_TRUE(AsNobody(&daemon, {"/usr/bin/xscreensaver", "-no-splash"}, home));
    auto command = [&](const char* arg) {
        Program p;
        return AsNobody(&p, {"/usr/bin/xscreensaver-command", arg}, home) && WaitExit(&p, Ms(5000)) && !p.ExitStatus;
    };
    bool active = false;   // refused until the daemon is ready
    for (int i = 0; i < 50 && !active; ++i, std::this_thread::sleep_for(Ms(200)))
        active = command("-activate");
    ASSERT_TRUE(active) << ReadStderr(daemon);

    Screenshot shot;   // 640x480 and 320x240 both take a raster of 200 x 150
    EXPECT_TRUE(WaitForScreen(Server.Conn, Ms(20000), IsTwoTone, &shot)) << ReadStderr(daemon);
    ExpectEnlargement(shot, 200, "640x480", 0, 0, 640, 480);
    EXPECT_TRUE(WaitForScreen(Server.Conn, Ms(20000), HasColour, &shot)) << ReadStderr(daemon);
    ExpectEnlargement(shot, 200, "640x480", 0, 0, 640, 480);
    const pid_t hack = HackPid(hackCopy);
    ASSERT_NE(hack, 0) << "the daemon runs no glyphfall-xscreensaver";

    const auto deactivated = Clock::now();
    EXPECT_TRUE(command("-deactivate"));
    // The daemon takes its time to send SIGTERM; the hack's own share is
    // bounded by the direct SIGTERM tests below.
    while (kill(hack, 0) == 0 && Clock::now() < deactivated + Ms(5000))
        std::this_thread::sleep_for(Ms(1));
    std::printf("[e2e] hack gone %.0f ms after -deactivate\n",
                std::chrono::duration<double, std::milli>(Clock::now() - deactivated).count());
    EXPECT_NE(kill(hack, 0), 0) << "the hack still runs 5 s after -deactivate";
    KillProgram(&daemon);
}

TEST_F(Hack, PreviewWindowShowsTheExactPictureAndItsEndEndsTheHack)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(640, 480, {"-br"}));
    ASSERT_NO_FATAL_FAILURE(Start({"--delay", "20 ms"}));
    EXPECT_TRUE(ExpectExit(Prog.Started, Ms(5000), 2, "--delay", "a bad --delay"));
    Display* d = Server.Conn;
    const Window preview = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 320, 240, 0, 0, 0x808080);
    XMapWindow(d, preview);
    XSync(d, False);
    ASSERT_NO_FATAL_FAILURE(Start({"-window-id", std::to_string(preview)}));
    Screenshot shot;
    ASSERT_TRUE(WaitForPhase(false, &shot));
    ExpectEnlargement(shot, 200, "320x240", 0, 0, 320, 240);
    // Wider: the scene's raster fills it until the next scene reshapes it.
    XResizeWindow(d, preview, 400, 240);
    auto filled = [](const Screenshot& s) { return s.At(399, 239) == 0xFFFFFFu; };   // the raster's last pixel
    EXPECT_TRUE(WaitForScreen(d, Ms(5000), filled, &shot)) << "the widened window is not filled";
    ExpectEnlargement(shot, 200, "400x240", 0, 0, 400, 240);

    XDestroyWindow(d, preview);
    XSync(d, False);
    EXPECT_TRUE(ExpectExit(Clock::now(), Ms(1000 * GLYPHFALL_SLOWER), 0, "", "window destroyed"));
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
        const std::string what = "SIGTERM, --delay " + std::to_string(delay);
        EXPECT_TRUE(ExpectExit(signalled, Ms(300 * GLYPHFALL_SLOWER), 0, "", what));
    }
    std::printf("[e2e] CPU share: %.3f with --delay 20000, %.3f with --delay 0\n", cpu[0], cpu[1]);
    // At most 50 steps a second: a fraction of back-to-back steps' CPU (sanitizers: per-step cost rules).
    EXPECT_TRUE(GLYPHFALL_SLOWER > 1 || cpu[0] * 3 < cpu[1]) << cpu[0] << " vs " << cpu[1];
}
