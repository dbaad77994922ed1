// glyphfall.scr under Wine on the test's own X server: /s paced by the saved delay, /s on two monitors, the preview
// in a host window, a bad argument's box, the settings dialog driven by the keyboard, and the setup program driven
// page by page and silently, its Start-menu entry and its uninstaller.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <regex>

#include <X11/keysym.h>
#include <png.h>

#include "tests/e2e/wine.h"

namespace {

const std::string Build = GLYPHFALL_WINDOWS_BUILD;
const std::string Key = "HKCU\\Software\\glyphfall";
const std::string SetupProgram = Build + "/glyphfall-" GLYPHFALL_VERSION "-win64-setup.exe", Drive = WINE_PREFIX "/drive_c";
const std::string Desktop = "HKCU\\Control Panel\\Desktop", Installed = "C:\\windows\\system32\\glyphfall.scr";
const std::string SessionManager = "HKLM\\System\\CurrentControlSet\\Control\\Session Manager";
const std::string Uninstall = "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\glyphfall";

std::string Contents(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// What a shortcut (.lnk) starts: its target (the link info's local path), then its strings: name, relative path,
// working folder, arguments.
Strings ReadShortcut(const std::string& path)
{
    const std::string b = Contents(path);
    auto number = [&](size_t at, size_t bytes) {   // little-endian
        size_t n = 0;
        for (size_t i = bytes; i--;)
            n = n << 8 | uint8_t(b.at(at + i));
        return n;
    };
    const size_t flags = number(20, 4);
    size_t at = 76 + (flags & 1 ? 2 + number(76, 2) : 0);   // after the header and the item list
    Strings fields = {flags & 2 ? b.c_str() + at + number(at + 16, 4) : ""};
    at += flags & 2 ? number(at, 4) : 0;
    for (size_t bit = 4; bit <= 0x20; bit <<= 1) {
        const size_t end = at + (flags & bit ? 2 + 2 * number(at, 2) : 0);
        for (fields.emplace_back(), at += 2; at < end; at += 2)   // UTF-16 as ASCII; Wine counts the NUL
            fields.back() += b.at(at) ? std::string(1, b[at]) : "";
        at = end;
    }
    return fields;
}

void SavePng(const Screenshot& s, const std::string& path)   // for a person to look at
{
    std::vector<uint32_t> bgra(s.Pixels.size());
    std::transform(s.Pixels.begin(), s.Pixels.end(), bgra.begin(), [](uint32_t p) { return p | 0xFF000000u; });
    png_image image{nullptr, PNG_IMAGE_VERSION, png_uint_32(s.Width), png_uint_32(s.Height), PNG_FORMAT_BGRA, 0, 0, 0, {}};
    EXPECT_TRUE(png_image_write_to_file(&image, path.c_str(), 0, bgra.data(), 0, nullptr)) << path;
}

// This build's savers (other builds' tests may run beside this one): their number, and the CPU seconds its
// process group used so far. Zombies have no command line; a copy's is a Windows path.
std::pair<int, double> Savers(pid_t group = 0)
{
    std::pair<int, double> found;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        std::ifstream cmdline(e.path() / "cmdline"), stat(e.path() / "stat");
        std::string line, fields;   // a process may end while being read
        if (!std::getline(cmdline, line) || !std::getline(stat, fields))
            continue;
        std::replace(line.begin(), line.end(), '\\', '/');
        found.first += line.find(Build + "/glyphfall.scr") != line.npos;
        long pgid;
        double user, system;   // in ticks
        if (std::sscanf(fields.c_str() + fields.rfind(')') + 2, "%*c %*d %ld %*s %*s %*s %*s %*s %*s %*s %*s %lf %lf",
                        &pgid, &user, &system) == 3 && pgid == group)
            found.second += (user + system) / double(sysconf(_SC_CLK_TCK));
    }
    return found;
}

struct Scr : Wine {
    // The value's data as "reg query" prints it after its name and type; "" when missing.
    std::string Query(const std::string& key, const std::string& name)
    {
        std::string output;
        std::smatch data;
        Tool({"/usr/bin/wine", "reg", "query", key, "/v", name}, Ms(30000), 0, &output);
        std::regex_search(output, data, std::regex(name + " +REG_[A-Z_]+ +([^\r\n]*)"));
        return data.size() ? data[1].str() : "";
    }
};

// The default delay and a long one against none: CPU share and how often the picture changes, measured over the
// same seconds of animation. The bounds leave room for a loaded machine, which starves delay 0 first.
TEST_F(Scr, ShowPacedByTheSavedDelay)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(320, 240));   // small, so that showing frames costs little beside the steps
    const char* delays[] = {"0", nullptr, "300000"};
    double cpu[3] = {}, changes[3] = {};
    for (int i = 0; i < 3; ++i) {
        Tool({"/usr/bin/wine", "reg", "delete", Key, "/f"});
        ASSERT_TRUE(!delays[i] || Registry(Key, "Delay", "REG_DWORD", delays[i]));
        Launch({Build + "/glyphfall.scr", "/s"}, Env());
        Screenshot shot, last;
        ASSERT_TRUE(WaitForPhase(true, &shot));
        ExpectEnlargement(shot, 200, "the letter");
        ASSERT_TRUE(WaitForPhase(false, &last));
        const double used = Savers(Prog.Pid).second;
        const auto start = Clock::now();
        for (; Clock::now() - start < Ms(3000); last = shot)
            changes[i] += TakeScreenshot(Server.Conn, &shot) && shot.Pixels != last.Pixels;
        cpu[i] = (Savers(Prog.Pid).second - used) / std::chrono::duration<double>(Clock::now() - start).count();
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

// One key ends the saver on every monitor, sent once each animates or at the first sight of the last one's letter,
// while its scene is being built. The keyboard is the first monitor's window's alone: savers that each took it
// could leave it, under Wine, with a window no longer active. A display change ends the saver too, and killing the
// first process ends its copy. A monitor variable left in the environment, another parent's, is ignored.
// The rows: name, monitors, at the letter, ending ('k' key, 'm' move, 'd' display change, 'x' kill).
struct ScrShow : Scr, testing::WithParamInterface<std::tuple<const char*, int, bool, char>> {};

TEST_P(ScrShow, EndedByOneKey)
{
    const auto [name, monitors, letter, ending] = GetParam();
    ASSERT_NO_FATAL_FAILURE(Prepare(1024, 768, monitors == 2));
    Tool({"/usr/bin/wine", "reg", "delete", Key, "/f"});   // the default settings: no overlay line
    setenv("GLYPHFALL_SCR_MONITOR", "2048,0,3072,768,1,99996,4,8", 1);   // passed on to the saver
    Launch({Build + "/glyphfall.scr", "/s"}, Env());
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
    EXPECT_EQ(Savers().first, monitors);
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
    else if (ending == 'm')   // past the move the window got as it appeared: ten pixels from rest, then a drift
        for (const EndCase c = InputEndings(true).back(); auto act : {c.Ignored, c.Ending}) {
            ASSERT_FALSE(WaitExit(&Prog, Ms(700))) << "ended before the drift: " << DescribeStatus(Prog.ExitStatus);
            act(this);
        }
    else if (ending == 'd')
        EXPECT_TRUE(Tool({"/usr/bin/wine", Build + "/saver_host.exe", "display-mode"}));
    else
        kill(Prog.Pid, SIGKILL);
    for (const auto deadline = Clock::now() + Ms(5000); Savers().first > 0 && Clock::now() < deadline;)
        usleep(20000);
    EXPECT_EQ(Savers().first, 0) << "a copy was left behind";
    ExpectExit(Clock::now(), Ms(1000), ending == 'x' ? -SIGKILL : 0, ending == 'x' ? nullptr : "", name);
}

INSTANTIATE_TEST_SUITE_P(E2e, ScrShow,
                         testing::Values(std::tuple{"TwoMonitorsAnimating", 2, false, 'k'},
                                         std::tuple{"TwoMonitorsAtTheLetter", 2, true, 'k'},
                                         std::tuple{"OneMonitorAtTheLetter", 1, true, 'k'},
                                         std::tuple{"OneMonitorDriftingPointer", 1, false, 'm'},
                                         std::tuple{"TwoMonitorsDisplayChanged", 2, false, 'd'},
                                         std::tuple{"TwoMonitorsFirstKilled", 2, false, 'x'}),
                         [](const auto& info) { return std::get<0>(info.param); });

// The preview in a host window that goes after two seconds; a bad argument's box; the settings dialog by keyboard:
// Right moves the slider one step towards "Fast" (1000 us less delay), OK saves, Escape does not.
TEST_F(Scr, PreviewBadArgumentAndSettings)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(640, 480));
    Launch({Build + "/saver_host.exe", "preview", "Z:" + Build + "/glyphfall.scr", "152", "112"}, Env());
    ExpectExit(Clock::now(), Ms(40000), 0, nullptr, "preview host");
    const std::regex said("child 152x112 of the saver: yes\r?\nsaver ended with 0 after [0-9]{1,3} ms\r?\n");
    EXPECT_TRUE(std::regex_match(ReadStderr(Prog), said)) << ReadStderr(Prog);   // within a second

    Launch({Build + "/glyphfall.scr", "/x"}, Env());
    ASSERT_NE(FocusWindowNamed("glyphfall"), 0u) << ReadStderr(Prog);
    TapKey(Server.Conn, XK_Return);
    ExpectExit(Clock::now(), Ms(5000), 2, "unknown argument '/x'", "box answered");

    Tool({"/usr/bin/wine", "reg", "delete", Key, "/f"});
    for (KeySym last : {XK_Return, XK_Escape}) {
        Launch({Build + "/glyphfall.scr", last == XK_Return ? "/c" : "/c:12345"}, Env());   // 12345: no window
        ASSERT_NE(FocusWindowNamed("glyphfall Settings"), 0u) << ReadStderr(Prog);
        for (KeySym k : {KeySym(XK_Right), KeySym(XK_Right), KeySym(XK_Tab), KeySym(XK_space), last})
            TapKey(Server.Conn, k);
        ExpectExit(Clock::now(), Ms(5000), 0, "", last == XK_Return ? "OK" : "Escape");
        EXPECT_EQ(Query(Key, "Delay"), "0x1f40");
        EXPECT_EQ(Query(Key, "ShowStepsPerSecond"), "0x1");
    }
}

// The setup program by keys from welcome to finish (each page saved in setup-pages/): a folder of the user's
// refused, the current saver chosen, the preview; the Start-menu entry as its .lnk says; the installed files; then
// silent installs and the uninstaller touching only what setup wrote.
TEST_F(Scr, SetupByKeysThenSilently)
{
    ASSERT_NO_FATAL_FAILURE(Prepare(800, 600));
    const std::string folder = Drive + "/Program Files/glyphfall", mine = folder + "/mine.txt";
    const std::string uninstall = "C:\\Program Files\\glyphfall\\uninstall.exe", zipCopy = "C:\\mine\\glyphfall.scr";
    std::filesystem::create_directories(folder);
    std::filesystem::create_directories(Drive + "/mine");
    std::ofstream(mine) << "mine";
    std::ofstream(Drive + "/mine/glyphfall.scr") << "mine";
    ASSERT_TRUE(Registry(Desktop, "SCRNSAVE.EXE", "REG_SZ", "C:\\windows\\system32\\other.scr"));
    ASSERT_TRUE(Registry(Desktop, "ScreenSaveActive", "REG_SZ", "1"));
    auto differ = [](const Screenshot& a, const Screenshot& b) {   // in more pixels than a blinking caret's
        return a.Pixels.size() != b.Pixels.size() || std::transform_reduce(a.Pixels.begin(), a.Pixels.end(),
                                                        b.Pixels.begin(), 0, std::plus<>(), std::not_equal_to<>()) > 100;
    };
    Screenshot page, last;
    ASSERT_TRUE(TakeScreenshot(Server.Conn, &page));
    Launch({SetupProgram}, Env());
    std::filesystem::create_directories("setup-pages");
    const std::pair<std::string, std::vector<KeySym>> pages[] = {
        {"1-welcome", {XK_Return}}, {"2-licence", {XK_Return}}, {"3-components", {XK_Down, XK_space, XK_Return}},
        {"4-folder", {XK_Return}}, {"5-folder-refused", {XK_Return}}, {"6-folder", {XK_Return}},
        {"7-progress", {XK_Return}}, {"8-finish", {XK_space, XK_Return}}};
    for (const auto& [name, keys] : pages) {   // each the first picture to differ from the last and keep still 700 ms
        const Screenshot before = page;
        auto since = Clock::now();
        ASSERT_TRUE(WaitForScreen(Server.Conn, Ms(20000), [&](const Screenshot& s) {
            if (differ(s, last))
                last = s, since = Clock::now();
            return differ(s, before) && Clock::now() - since > Ms(700);
        }, &page)) << "no page " << name;
        SavePng(page, "setup-pages/" + name + ".png");
        ASSERT_FALSE(WaitExit(&Prog, Ms(0))) << "setup ended before " << name;
        if (name == "5-folder-refused") {
            ASSERT_FALSE(std::filesystem::exists(folder + "/glyphfall.exe"));
            std::filesystem::remove(mine);
        }
        for (KeySym k : keys)
            TapKey(Server.Conn, k);
    }
    const Strings link = ReadShortcut(Drive + "/ProgramData/Microsoft/Windows/Start Menu/Programs/"
                                              "glyphfall screen saver.lnk");
    ASSERT_EQ(link.size(), 5u);
    EXPECT_EQ(link[0] + " " + link[4] + " in " + link[3], Installed + " /s in C:\\Program Files\\glyphfall");
    for (const std::string from : {"finish page", "shortcut"}) {
        ASSERT_TRUE(WaitForPhase(true)) << from;
        TapKey(Server.Conn, XK_a);
        EXPECT_TRUE(WaitForScreen(Server.Conn, Ms(5000), [](const Screenshot& s) { return !IsTwoTone(s); }, &page));
        ExpectExit(Clock::now(), Ms(5000), 0, nullptr, from);
        if (from == "finish page")
            Launch({"start", "/wait", "/d", link[3], link[0], link[4]}, Env());
    }
    // The ZIP's files, stripped; the two texts of our own with Windows line endings.
    size_t bytes = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(Build + "/setup-files")) {
        if (e.is_directory())
            continue;
        const std::string name = e.path().lexically_relative(Build + "/setup-files"), text = Contents(e.path());
        EXPECT_TRUE(Contents(name == "glyphfall.scr" ? Drive + "/windows/system32/" + name : folder + "/" + name) ==
                    text) << name;
        EXPECT_EQ(text.find(".debug_"), text.npos) << name;
        EXPECT_TRUE(name.find('/') != name.npos || !name.ends_with(".txt") ||
                    std::count(text.begin(), text.end(), '\r') == std::count(text.begin(), text.end(), '\n')) << name;
        bytes += text.size();
    }
    EXPECT_NEAR(double(std::stoul(Query(Uninstall, "EstimatedSize"), nullptr, 16)), double(bytes) / 1024, 8);
    EXPECT_EQ(Query(Desktop, "SCRNSAVE.EXE"), Installed);
    ASSERT_TRUE(Tool({"/usr/bin/wine", SetupProgram, "/S", "/D=C:\\mine"}, Ms(60000), 2));
    ASSERT_TRUE(Tool({"/usr/bin/wine", SetupProgram, "/S"}));
    std::ofstream(folder + "/licenses/mine.txt") << "mine";
    ASSERT_TRUE(Registry(Key, "Delay", "REG_DWORD", "5"));
    Launch({Installed, "/s"}, Env());
    ASSERT_TRUE(WaitForPhase(true));
    ASSERT_TRUE(Tool({"/usr/bin/wine", uninstall, "/S", "_?=C:\\Program", "Files\\glyphfall"}, Ms(60000),
                     3010 % 256));   // unquoted, as NSIS wants it; Linux keeps 8 bits of the code
    EXPECT_NE(Query(SessionManager, "PendingFileRenameOperations").find(Installed), std::string::npos);
    TapKey(Server.Conn, XK_a);
    ExpectExit(Clock::now(), Ms(5000), 0, "", "key");
    EXPECT_EQ(Contents(folder + "/licenses/mine.txt"), "mine");
    EXPECT_EQ(Query(Key, "Delay"), "");
    EXPECT_EQ(Query(Desktop, "SCRNSAVE.EXE"), "C:\\windows\\system32\\other.scr");
    EXPECT_EQ(Query(Desktop, "ScreenSaveActive"), "1");
    std::filesystem::remove_all(folder);   // what a restart would delete, and the user's file
    std::filesystem::remove(Drive + "/windows/system32/glyphfall.scr");
    Tool({"/usr/bin/wine", "reg", "delete", SessionManager, "/v", "PendingFileRenameOperations", "/f"});
    ASSERT_TRUE(Tool({"/usr/bin/wine", SetupProgram, "/S"}));
    ASSERT_TRUE(Registry(Desktop, "SCRNSAVE.EXE", "REG_SZ", zipCopy));
    ASSERT_TRUE(Tool({"/usr/bin/wine", uninstall, "/S"}));
    ASSERT_TRUE(Tool({"/usr/bin/wineserver", "-w"}));   // the uninstaller runs from a copy of itself
    EXPECT_EQ(Contents(Drive + "/mine/glyphfall.scr"), "mine");
    std::filesystem::remove_all(Drive + "/mine");
    for (const auto& e : std::filesystem::recursive_directory_iterator(Drive))
        EXPECT_EQ(e.path().filename().string().find("glyphfall"), std::string::npos) << e.path();
    EXPECT_EQ(Query(Desktop, "SCRNSAVE.EXE"), zipCopy);
    EXPECT_EQ(Query(Uninstall, "DisplayName"), "");
}

}  // namespace
