// glyphfall-xscreensaver's choices made without a display: the command line
// with the window it picks, the raster's shape, and the edit of ~/.xscreensaver.
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "fuzz/hack_list_judge.h"
#include "glyphfall-xscreensaver/options.h"
#include "glyphfall-xscreensaver/xscreensaver_file.h"
#include "scene/scene.h"
#include "shell/shell.h"
#include "tests/argv.h"

TEST(HackArgs, OptionsAndTheWindowByPrecedence)
{
    struct Case {
        const char* Args;
        const char* FromDaemon;   // XSCREENSAVER_WINDOW
        const char* Error;        // the one-line refusal ("" when accepted)
        PlaceKind Kind = PlaceOwn;
        unsigned long Handle = 0;
        uint32_t Delay = 10000;
        bool Fps = false, Install = false, Uninstall = false;
    };
    const Case cases[] = {
        {"", nullptr, ""}, {"--root", "", "", PlaceRoot}, {"--root", "0x2a", "", PlaceGiven, 42},
        {"-window-id 7 --root", "0x2a", "", PlaceGiven, 7},
        {"--window-id=0x10 -delay=0 --fps", "junk", "", PlaceGiven, 16, 0, true},
        {"--install", nullptr, "", PlaceOwn, 0, 10000, false, true},
        {"--uninstall", nullptr, "", PlaceOwn, 0, 10000, false, false, true},
        {"--install --uninstall", nullptr, "--install and --uninstall exclude each other"},
        {"--root", "junk", "XSCREENSAVER_WINDOW 'junk' is not a window id"},
        {"--window-id 0", nullptr, "--window-id '0': expected a window id, decimal or 0x hexadecimal"},
        {"--delay 10000001", nullptr, "--delay '10000001': expected microseconds from 0 to 10000000"},
        {"--install=1", nullptr, "option '--install=1' takes no value"},
    };
    for (const Case& c : cases) {
        HackArgs a;
        WindowPlace place;
        std::string error = Parse(ParseHackArgs, c.Args, &a);
        if (error.empty() && !ChooseHackWindow(a, c.FromDaemon, &place, &error) && error.empty())
            error = "refused without a reason";
        EXPECT_EQ(error, c.Error) << c.Args;
        if (*c.Error)
            continue;
        EXPECT_EQ(std::tie(place.Kind, place.Handle, a.Delay, a.Fps, a.Install, a.Uninstall),
                  std::tie(c.Kind, c.Handle, c.Delay, c.Fps, c.Install, c.Uninstall)) << c.Args;
    }
    // The usage states the same order.
    const std::string usage = HackUsage();
    EXPECT_LT(usage.find("--window-id ID ("), usage.find("(XSCREENSAVER_WINDOW)"));
    EXPECT_LT(usage.find("(XSCREENSAVER_WINDOW)"), usage.find("with --root"));
}

TEST(HackRasterShape, NoWiderThanA32To9Screen)
{
    // Window, then the raster's width (0: none fits, the caller falls back).
    const int32_t cases[][3] = {{1920, 1080, 267}, {5120, 1440, 533}, {5121, 1440, 533}, {1920, 10, 533},
                                {1920, 1, 533}, {16384, 16384, 150}, {10, 1920, 1}, {1, 1000, 0}};
    for (const auto& [w, h, want] : cases) {
        int32_t sw, sh;
        RasterShape(ShapeFitted, w, h, &sw, &sh);
        EXPECT_EQ(RasterWidthFor(sw, sh), want) << w << "x" << h << " -> " << sw << "x" << sh;
    }
}

// Odd shapes of ~/.xscreensaver, each with our entry's number once added (0:
// refused). The daemon's own reading judges what adding and taking out keep.
TEST(HackList, KeepsEverySettingTheDaemonReads)
{
    const std::vector<std::string> defaults = {"maze --root", "- qix --root"};
    const std::pair<std::string, int> cases[] = {
        {"", 3},
        {"lock: False \\", 3},                                               // continued at the end
        {"a: /x\\\\", 3},                                                  // the same, its backslash escaped
        {"programs: \\\n  maze --root \\n\\ \ntimeout: 0:10:00\n", 2},    // "\\ " ends a line
        {"lock: False \\ \nprograms: maze\n", 2},
        {"programs: \\\r\n  maze \\n\\\r\nlock: False\r\n", 1},          // "\\\r" too
        {"x: \\\\\n\nprograms: maze\n", 3},                               // continued through an empty line
        {"programs: maze\nPROGRAMS: qix \\n - glyphfall-xscreensaver --root\n", 2},   // the last one counts
        {"programs : maze\n# c \\\nprograms: qix\n", 3},                      // neither is a list
        {"programs: a\\\\b\\t \\n\n", 2},                                       // "a\\b" written back as it was
        {std::string("programs: maze\n\0", 16), 0}, {std::string(1022, 'a') + "\n", 0},
    };
    for (const auto& [text, number] : cases) {
        EXPECT_EQ(HackListFault(text, defaults), "") << text;
        EXPECT_EQ(EditHackList(&text, defaults, "/g/glyphfall-xscreensaver --root", true).Number, number) << text;
    }
    // The command: bare where the daemon looks for hacks.
    EXPECT_EQ(HackListCommand("/usr/libexec/xscreensaver/glyphfall-xscreensaver"), "glyphfall-xscreensaver --root");
    EXPECT_EQ(HackListCommand("/usr/local/libexec/xscreensaver/gx"), "/usr/local/libexec/xscreensaver/gx --root");
    EXPECT_EQ(HackListCommand("/home/a b/gx"), "");
}

// The edit on disk, as root in a scratch home: a refusal leaves every file as
// it was and nothing behind; an edit keeps owner, group, mode, links and the
// user's own last version.
TEST(HackFile, RefusesUntouchedOrKeepsOwnerModeLinkAndBackup)
{
    namespace fs = std::filesystem;
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root, to hand a file to nobody";
    umask(022);
    const std::string dir = testing::TempDir() + "hack_file", home = dir + "/home", file = home + "/.xscreensaver";
    const auto put = [](const std::string& path, const std::string& text, mode_t mode = 0644, uid_t u = 0, gid_t g = 0)
    {
        std::ofstream(path, std::ios::binary) << text;
        ASSERT_EQ(chmod(path.c_str(), mode) | chown(path.c_str(), u, g), 0);
    };
    const auto files = [&] {   // path -> mode, group, text or a link's target
        std::map<std::string, std::string> all;
        for (const auto& f : fs::recursive_directory_iterator(home)) {
            struct stat st;
            std::ostringstream text;
            text << (lstat(f.path().c_str(), &st), std::oct) << st.st_mode << std::dec << " " << st.st_gid << " "
                 << (f.is_symlink() ? fs::read_symlink(f).string() : "");
            if (f.is_regular_file() && !f.is_symlink())
                text << std::ifstream(f.path()).rdbuf();
            all[f.path()] = text.str();
            EXPECT_EQ(f.path().string().find(".glyphfall-"), std::string::npos) << f.path() << " left behind";
        }
        return all;
    };
    HackFileJob job;
    const auto run = [&](bool add, int code, const std::string& said) {
        std::string got;
        job.Add = add;
        EXPECT_EQ(EditHackFile(job, &got), code) << got;
        EXPECT_NE(got.find(said), std::string::npos) << got;
        return files();
    };
    const auto fresh = [&] {
        fs::remove_all(dir);
        fs::create_directories(home);
        std::ofstream(dir + "/XScreenSaver") << "*programs: maze --root \\n\\\n  - qix --root\n";
        job = {file, "glyphfall-xscreensaver --root", true, {dir + "/XScreenSaver"}};
    };
    // A list the edit writes shorter: the new file fits under the limit, the backup does not.
    const std::string wide = "programs: maze" + std::string(600, ' ') + "\n" + std::string(100, '\n');
    const std::pair<std::string, std::function<void()>> refusals[] = {
        {"belongs to nobody", [&] { put(file, "a: 1\n", 0644, 65534); }},
        {"belongs to nobody", [&] {
             put(home + "/x", ""), fs::create_symlink("x", file), lchown(file.c_str(), 65534, 0);
         }},
        {"is read-only", [&] { put(file, "a: 1\n", 0444); }},
        {"folder " + home, [&] { put(file, "a: 1\n"), chmod(home.c_str(), 0555); }},
        {"absent/x, which does not exist", [&] { fs::create_symlink("absent/x", file); }},
        {"(looked in /none)", [&] { put(file, "a: 1\n"), job.DefaultsFiles = {"/none"}; }},
        {"NUL byte", [&] { put(file, std::string("a: 1\n\0", 6)); }},
        {"kept changing", [&] {   // another program's saves, over and over
             put(file, "a: 1\n");
             job.Meanwhile = [](const std::string& f) { std::ofstream(f + "~") << "a: 1\n", fs::rename(f + "~", f); };
         }},
        {"File too large", [&] {
             put(file, wide), put(file + ".bak", "old");
             const rlimit limit = {wide.size() - 1, RLIM_INFINITY};
             setrlimit(RLIMIT_FSIZE, &limit);
         }},
    };
    for (const auto& [said, setup] : refusals) {
        fresh();
        setup();
        const auto before = files();
        const auto after = run(true, 1, said);
        const rlimit none = {RLIM_INFINITY, RLIM_INFINITY};
        setrlimit(RLIMIT_FSIZE, &none);
        EXPECT_EQ(after, before) << said;
        chmod(home.c_str(), 0755);
    }
    // Group and mode kept; the backup holds the user's own last version
    // across an install, an uninstall and another program's save meanwhile.
    fresh();
    put(file, "a: 1\n", 0640, 0, 65534);
    EXPECT_EQ(run(true, 0, "the old file kept as " + file + ".bak")[file].find("100640 65534 a: 1\nprograms:"), 0u);
    EXPECT_EQ(run(false, 0, "your own last version stays in")[file + ".bak"], "100640 65534 a: 1\n");
    job.Meanwhile = [](const std::string& f) {
        static int saves;
        if (!saves++)
            std::ofstream(f, std::ios::app) << "b: 2\n";
    };
    auto now = run(true, 0, "the old file kept as");
    const std::string& bak = now[file + ".bak"];
    EXPECT_TRUE(bak.find("b: 2") != bak.npos && bak.find("Glyphfall") == bak.npos && now[file].find("b: 2") != bak.npos)
        << bak;
    // A link's target edited, the link kept; an empty file is a file; a new one has the usual mode.
    job.Meanwhile = nullptr;
    fs::create_directory(home + "/dots");
    fs::rename(file, home + "/dots/x");
    fs::create_symlink("dots/x", file);
    EXPECT_EQ(run(false, 0, "kept as " + home + "/dots/x.bak")[file], "120777 0 dots/x");
    put(job.File = home + "/empty", "", 0600);
    EXPECT_EQ(run(true, 0, "the old file kept as")[home + "/empty.bak"], "100600 0 ");
    job.File = home + "/new";
    EXPECT_EQ(run(true, 0, "a new file")[job.File].find("100644 0 programs:"), 0u);
    fs::remove_all(dir);
}
