// glyphfall-xscreensaver end to end: under the real XScreenSaver daemon (run as nobody, which it requires), and in
// windows of the test's own or its own one. Its --delay and its end by SIGTERM, which is how the daemon ends it, are
// checked where it draws on the root (visual_test.cpp).
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <thread>

#include "tests/e2e/harness.h"

struct Hack : E2e {
    // Starts cmd as nobody, with home as its HOME. Nobody may not reach the build tree: the sanitizers'
    // suppression files it names are copied into the test's own (world-readable) directory.
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

TEST_F(Hack, DaemonRunsItOnActivateAndItsPictureKeepsChanging)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(640, 480, {"-ac", "-br", "-noreset"}));
    // Nobody may not reach the build tree: the daemon runs a copy of the hack in the test's own directory.
    const std::string home = TempDir + "/home", hackCopy = TempDir + "/glyphfall-xscreensaver";
    chmod(TempDir.c_str(), 0755);
    mkdir(home.c_str(), 0755);
    std::filesystem::copy_file(GLYPHFALL_HACK, hackCopy);
    chmod(hackCopy.c_str(), 0755);
    std::ofstream(home + "/.xscreensaver") << "mode: one\nfade: False\nunfade: False\nlock: False\nsplash: False\n";
    ASSERT_EQ(chown(home.c_str(), 65534, 65534) | chown((home + "/.xscreensaver").c_str(), 65534, 65534), 0);
    Program daemon, install;
    ASSERT_TRUE(AsNobody(&daemon, {"/usr/bin/xscreensaver", "-no-splash"}, home));
    // The user's one step, while the daemon runs; it names the entry to select.
    ASSERT_TRUE(AsNobody(&install, {hackCopy, "--install"}, home));
    ASSERT_TRUE(WaitExit(&install, Ms(5000)) && !install.ExitStatus) << ReadStderr(install);
    const std::string said = ReadStderr(install), entry = said.substr(said.find(" is entry ") + 10);
    bool active = false;   // refused until the daemon is ready
    for (int i = 0; i < 50 && !active; ++i, std::this_thread::sleep_for(Ms(200))) {
        Program select;
        const Strings cmd = {"/usr/bin/xscreensaver-command", "-select", entry.substr(0, entry.find(' '))};
        active = AsNobody(&select, cmd, home) && WaitExit(&select, Ms(5000)) && !select.ExitStatus;
    }
    ASSERT_TRUE(active) << ReadStderr(daemon);

    Screenshot shot;   // 640x480 and 320x240 both take a raster of 200 x 150
    for (auto phase : {IsTwoTone, HasColour}) {
        EXPECT_TRUE(WaitForScreen(Server.Conn, Ms(20000), phase, &shot)) << ReadStderr(daemon);
        ExpectEnlargement(shot, 200, "640x480");
    }
    // The picture keeps changing: 10 changes within 3 s, none more than 1.5 s after the one before.
    const auto end = Clock::now() + Ms(3000);
    for (int change = 0; change < 10; ++change) {
        const Screenshot before = shot;
        auto moved = [&](const Screenshot& s) { return s.Pixels != before.Pixels; };
        const Ms left = std::chrono::duration_cast<Ms>(end - Clock::now());
        ASSERT_TRUE(WaitForScreen(Server.Conn, std::min(Ms(1500), left), moved, &shot)) << "change " << change;
    }
    KillProgram(&daemon);
}

// A bad argument is one line and exit code 2. A preview window of the test's own shows the exact picture, a widened
// one is filled, and its end ends the hack; its own window ends it by the window manager's close request; a window
// that does not exist is one line and exit code 1.
TEST_F(Hack, ItsWindowsAndTheirEnds)
{
    ASSERT_NO_FATAL_FAILURE(StartServer(640, 480, {"-br"}));
    ASSERT_NO_FATAL_FAILURE(Launch({"--delay", "20 ms"}, {}, GLYPHFALL_HACK));
    EXPECT_TRUE(ExpectExit(Prog.Started, Ms(5000), 2, "--delay", "a bad --delay"));
    Display* d = Server.Conn;
    const Window preview = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 320, 240, 0, 0, 0x808080);
    XMapWindow(d, preview);
    XSync(d, False);
    ASSERT_NO_FATAL_FAILURE(Launch({"-window-id", std::to_string(preview)}, {}, GLYPHFALL_HACK));
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

    ASSERT_NO_FATAL_FAILURE(Launch({}, {}, GLYPHFALL_HACK));
    ASSERT_TRUE(WaitForPhase(true));
    const std::vector<Window> shown = TopWindows(d);
    ASSERT_EQ(shown.size(), 1u);
    SendClose(d, shown[0]);
    EXPECT_TRUE(ExpectExit(Clock::now(), Ms(1000 * GLYPHFALL_SLOWER), 0, "", "close request"));
    ASSERT_NO_FATAL_FAILURE(Launch({"--window-id", "0x1fffffff"}, {}, GLYPHFALL_HACK));
    EXPECT_TRUE(ExpectExit(Prog.Started, Ms(3000 * GLYPHFALL_SLOWER), 1, "0x1fffffff", "a missing window"));
}
