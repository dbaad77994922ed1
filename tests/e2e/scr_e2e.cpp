// glyphfall.scr under Wine on the test's own X server: the preview in a host
// window, /s paced by the saved delay, /s on two monitors, the settings
// dialog driven by the keyboard, and the setup program's silent install and
// uninstall.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <cstring>
#include <fstream>
#include <sstream>

#include <X11/keysym.h>

#include "tests/e2e/wine.h"

namespace {

const std::string Build = GLYPHFALL_WINDOWS_BUILD;
const std::string Key = "HKCU\\Software\\glyphfall";

std::string Windows(std::string path)   // the same file through Wine's drive Z:
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

// /proc/PID/name of every process, but those that end while being read.
Strings ProcFiles(const char* name)
{
    Strings found;
    DIR* proc = opendir("/proc");
    for (dirent* e; proc && (e = readdir(proc));) {
        std::ifstream file(std::string("/proc/") + e->d_name + "/" + name);
        std::ostringstream text;   // unlike a stream iterator, << reports a failed read instead of throwing
        if (std::isdigit(static_cast<unsigned char>(e->d_name[0])) && file && text << file.rdbuf())
            found.push_back(text.str());
    }
    if (proc)
        closedir(proc);
    return found;
}

// This build's savers only: other builds' tests may run beside this one.
// Zombies have no command line; a copy's is a Windows path.
int ScrProcesses()
{
    int count = 0;
    for (std::string line : ProcFiles("cmdline")) {
        std::replace(line.begin(), line.end(), '\\', '/');
        count += line.find(Build + "/glyphfall.scr") != line.npos;
    }
    return count;
}

// CPU seconds used so far by a process group.
double GroupCpu(pid_t group)
{
    double ticks = 0;
    for (const std::string& stat : ProcFiles("stat")) {
        std::istringstream rest(stat.substr(std::min(stat.rfind(')') + 2, stat.size())));
        Strings f{std::istream_iterator<std::string>(rest), std::istream_iterator<std::string>()};
        if (f.size() > 12 && std::stol(f[2]) == group)
            ticks += std::stod(f[11]) + std::stod(f[12]);   // utime, stime
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

struct Scr : Wine {
    void Saver(const Strings& args)
    {
        Strings argv = {Build + "/glyphfall.scr"};
        argv.insert(argv.end(), args.begin(), args.end());
        Launch(argv, Env());
    }
    // The value's data as "reg query" prints it, its last word; "" when missing.
    std::string Query(const std::string& key, const char* name)
    {
        Program tool;
        std::string error, line, word;
        Strings env = Env();
        env.push_back("DISPLAY=" + Server.Name);
        if (SpawnProgram(&tool, {"/usr/bin/wine", "reg", "query", key, "/v", name}, ProgramEnvironment(env), TempDir,
                         &error) &&
            WaitExit(&tool, Ms(30000)) && WIFEXITED(tool.ExitStatus) && WEXITSTATUS(tool.ExitStatus) == 0) {
            std::istringstream out(ReadStderr(tool));
            while (std::getline(out, line))
                if (line.find(name) != line.npos)
                    std::istringstream(line) >> word >> word >> word;
        }
        return word;
    }
};

// The preview host destroys its window after two seconds of preview.
TEST_F(Scr, PreviewFillsTheHostAndEndsWithIt)
{
    Prepare(640, 480);
    ASSERT_FALSE(HasFatalFailure());
    Launch({Build + "/preview_host.exe", Windows(Build + "/glyphfall.scr"), "152", "112"}, Env());
    ExpectExit(Clock::now(), Ms(40000), 0, nullptr, "preview host");
    const std::string said = ReadStderr(Prog);
    EXPECT_NE(said.find("child 152x112 of the saver: yes"), said.npos) << said;
    const size_t at = said.find("saver ended with 0 after ");
    ASSERT_NE(at, said.npos) << said;
    EXPECT_LT(std::stoi(said.substr(at + 25)), 1000) << said;
}

// The default delay and a long one against none: CPU share and how often
// the picture changes, measured over the same seconds of animation. The
// bounds leave room for a loaded machine, which starves delay 0 first.
TEST_F(Scr, ShowPacedByTheSavedDelay)
{
    Prepare(320, 240);   // small, so that showing frames costs little beside the steps
    ASSERT_FALSE(HasFatalFailure());
    const char* delays[] = {"0", nullptr, "300000"};
    double cpu[3] = {}, changes[3] = {};
    for (int i = 0; i < 3; ++i) {
        Tool({"/usr/bin/wine", "reg", "delete", Key, "/f"});
        if (delays[i]) {
            ASSERT_TRUE(Registry(Key.c_str(), "Delay", "REG_DWORD", delays[i]));
        }
        Saver({"/s"});
        Screenshot shot, last;
        ASSERT_TRUE(WaitForPhase(true, &shot));
        ExpectEnlargement(shot, 200, "the letter");
        ASSERT_TRUE(WaitForPhase(false, &last));
        const double used = GroupCpu(Prog.Pid);
        const auto start = Clock::now();
        for (; Clock::now() - start < Ms(3000); last = shot)
            changes[i] += TakeScreenshot(Server.Conn, &shot) && shot.Pixels != last.Pixels;
        cpu[i] = (GroupCpu(Prog.Pid) - used) / std::chrono::duration<double>(Clock::now() - start).count();
        ExpectEnlargement(last, 200, "a frame");
        TapKey(Server.Conn, XK_a);
        ExpectExit(Clock::now(), Ms(5000), 0, "", "key");
        std::printf("[e2e] delay %s: %.0f%% CPU, %.0f picture changes in 3 s\n", delays[i] ? delays[i] : "default",
                    100 * cpu[i], changes[i]);
    }
    EXPECT_LT(1.5 * cpu[1], cpu[0]) << "the default delay saves no CPU";
    EXPECT_LT(2 * cpu[2], cpu[0]) << "a long delay saves no CPU";
    EXPECT_LT(2 * changes[2], changes[0]) << "a long delay leaves the steps as frequent";
}

// One key ends the saver on every monitor, sent once each animates or at the
// first sight of the last one's letter, while its scene is being built. The
// keyboard is the first monitor's window's alone: savers that each took it
// could leave it, under Wine, with a window no longer active. A display
// change ends the saver too, and killing the first process ends its copy. A
// monitor variable left in the environment, naming another parent and its
// handles, is ignored.
struct ScrShow : Scr, testing::WithParamInterface<std::tuple<const char*, int, bool, char>> {};   // monitors,
                                                                     // letter, ending: key, display change, kill

TEST_P(ScrShow, EndedByOneKey)
{
    const auto [name, monitors, letter, ending] = GetParam();
    Prepare(1024, 768, monitors == 2);
    ASSERT_FALSE(HasFatalFailure());
    Tool({"/usr/bin/wine", "reg", "delete", Key, "/f"});   // the default settings: no overlay line
    setenv("GLYPHFALL_SCR_MONITOR", "2048,0,3072,768,1,99996,4,8", 1);   // passed on to the saver
    Saver({"/s"});
    std::vector<bool> seen(static_cast<size_t>(monitors));   // its scene, or (letter) its letter once
    auto every = [&](const Screenshot& s) {
        for (int h = 0; h < monitors; ++h) {
            Screenshot half;
            for (int y = 0; y < s.Height; ++y)
                half.Pixels.insert(half.Pixels.end(), &s.Pixels[size_t(y * s.Width + h * 1024)],
                                   &s.Pixels[size_t(y * s.Width + h * 1024 + 1024)]);
            seen[size_t(h)] = (letter ? IsTwoTone(half) : HasColour(half)) || (letter && seen[size_t(h)]);
        }
        return std::count(seen.begin(), seen.end(), true) == monitors;
    };
    Screenshot shot;
    ASSERT_TRUE(WaitForScreen(Server.Conn, Ms(20000), every, &shot)) << "a monitor without its scene";
    EXPECT_EQ(ScrProcesses(), monitors);
    Window focus = 0;
    int revert = 0;
    XWindowAttributes at = {};   // all 0 for no window
    XGetInputFocus(Server.Conn, &focus, &revert);
    XGetWindowAttributes(Server.Conn, focus, &at);
    EXPECT_EQ(std::pair(at.x, at.width), std::pair(0, 1024)) << "the keyboard is not the first monitor's";
    if (monitors == 2 && !letter && ending == 'k') {
        EXPECT_NE(ExpectEnlargement(shot, 200, "left", 0, 0, 1024, 768),
                  ExpectEnlargement(shot, 200, "right", 1024, 0, 1024, 768));
    }
    if (ending == 'k')
        TapKey(Server.Conn, XK_a);
    else if (ending == 'd')
        EXPECT_TRUE(Tool({"/usr/bin/wine", Build + "/display_mode.exe"}));
    else
        kill(Prog.Pid, SIGKILL);
    const auto deadline = Clock::now() + Ms(5000);
    while (ScrProcesses() > 0 && Clock::now() < deadline)
        usleep(20000);
    EXPECT_EQ(ScrProcesses(), 0) << "a copy was left behind";
    ExpectExit(Clock::now(), Ms(1000), ending == 'x' ? -SIGKILL : 0, ending == 'x' ? nullptr : "", name);
}

INSTANTIATE_TEST_SUITE_P(E2e, ScrShow,
                         testing::Values(std::tuple{"TwoMonitorsAnimating", 2, false, 'k'},
                                         std::tuple{"TwoMonitorsAtTheLetter", 2, true, 'k'},
                                         std::tuple{"OneMonitorAtTheLetter", 1, true, 'k'},
                                         std::tuple{"TwoMonitorsDisplayChanged", 2, false, 'd'},
                                         std::tuple{"TwoMonitorsFirstKilled", 2, false, 'x'}),
                         [](const auto& info) { return std::get<0>(info.param); });

// Right moves the slider one step towards "Fast": 1000 us less delay.
TEST_F(Scr, SettingsByKeyboardOkSavesEscapeDoesNot)
{
    Prepare(640, 480);
    ASSERT_FALSE(HasFatalFailure());
    Tool({"/usr/bin/wine", "reg", "delete", Key, "/f"});
    for (KeySym last : {XK_Return, XK_Escape}) {
        Saver({last == XK_Return ? "/c" : "/c:12345"});   // an owner that is no window: none
        const Window dialog = FindWindowNamed("glyphfall Settings");
        ASSERT_NE(dialog, 0u) << ReadStderr(Prog);
        XSetInputFocus(Server.Conn, dialog, RevertToPointerRoot, CurrentTime);   // no window manager gives it
        const KeySym keys[] = {XK_Right, XK_Right, XK_Tab, XK_space, last};
        for (KeySym k : keys)
            TapKey(Server.Conn, k);
        ExpectExit(Clock::now(), Ms(5000), 0, "", last == XK_Return ? "OK" : "Escape");
        EXPECT_EQ(Query(Key, "Delay"), "0x1f40");
        EXPECT_EQ(Query(Key, "ShowStepsPerSecond"), "0x1");
    }
}

TEST_F(Scr, UnknownArgumentShowsWhatIsAcceptedAndExits2)
{
    Prepare(640, 480);
    ASSERT_FALSE(HasFatalFailure());
    Saver({"/x"});
    const Window box = FindWindowNamed("glyphfall");
    ASSERT_NE(box, 0u) << ReadStderr(Prog);
    XSetInputFocus(Server.Conn, box, RevertToPointerRoot, CurrentTime);
    TapKey(Server.Conn, XK_Return);
    ExpectExit(Clock::now(), Ms(5000), 2, "unknown argument '/x'", "box answered");
}

TEST_F(Scr, SetupInstallsAndUninstallsSilently)
{
    Prepare(640, 480);
    ASSERT_FALSE(HasFatalFailure());
    const std::string drive = WINE_PREFIX "/drive_c", uninstall = "Software\\Microsoft\\Windows\\CurrentVersion\\"
                                                                  "Uninstall\\glyphfall";
    ASSERT_TRUE(Tool({"/usr/bin/wine", Build + "/glyphfall-" GLYPHFALL_VERSION "-win64-setup.exe", "/S"}));
    for (const char* file : {"Program Files/glyphfall/glyphfall.exe", "Program Files/glyphfall/README.md",
                             "Program Files/glyphfall/uninstall.exe", "windows/system32/glyphfall.scr",
                             "ProgramData/Microsoft/Windows/Start Menu/Programs/glyphfall.lnk"})
        EXPECT_TRUE(std::filesystem::exists(drive + "/" + file)) << file;
    EXPECT_NE(Query("HKLM\\" + uninstall, "QuietUninstallString"), "");
    ASSERT_TRUE(Registry(Key.c_str(), "Delay", "REG_DWORD", "5"));
    ASSERT_TRUE(Registry("HKCU\\Control Panel\\Desktop", "SCRNSAVE.EXE", "REG_SZ", "C:\\windows\\system32\\glyphfall.scr"));
    ASSERT_TRUE(Tool({"/usr/bin/wine", "C:\\Program Files\\glyphfall\\uninstall.exe", "/S"}));
    ASSERT_TRUE(Tool({"/usr/bin/wineserver", "-w"}));   // the uninstaller runs from a copy of itself
    for (const auto& e : std::filesystem::recursive_directory_iterator(drive))
        EXPECT_EQ(e.path().filename().string().find("glyphfall"), std::string::npos) << e.path();
    EXPECT_EQ(Query(Key, "Delay"), "");
    EXPECT_EQ(Query("HKCU\\Control Panel\\Desktop", "SCRNSAVE.EXE"), "");
    EXPECT_EQ(Query("HKLM\\" + uninstall, "DisplayName"), "");
}

}  // namespace
