// glyphfall-saver on sway (headless, as nobody: sway refuses root), seen by grim, driven by wtype and a
// virtual pointer; on X11 as its desktop entry says. glyphfall on weston nested in Xvfb (XTest input reaches it).
#include <linux/input-event-codes.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <X11/keysym.h>
#include <wayland-client.h>

#include "tests/e2e/harness.h"
#include "wlr-virtual-pointer-unstable-v1-client.h"

namespace {

bool Shown(const Screenshot& s)
{
    return s.Width && (IsTwoTone(s) || HasColour(s));
}

// sway's own background (where no surface is), but for the cursor it draws into the picture.
bool Hidden(const Screenshot& s)
{
    return s.Width && size_t(std::count(s.Pixels.begin(), s.Pixels.end(), 0x3F3F3Fu)) + 64 * 64 >= s.Pixels.size();
}

// Waits until the live processes of a group (a saver and its scenes) number least to most.
bool Alive(pid_t group, int least, int most, Ms bound = Ms(900 * GLYPHFALL_SLOWER))
{
    int alive = 0;
    for (auto end = Clock::now() + bound; Clock::now() < end; std::this_thread::sleep_for(Ms(5))) {
        alive = 0;
        for (const auto& e : std::filesystem::directory_iterator("/proc")) {
            std::ifstream in(isdigit(e.path().filename().c_str()[0]) ? e.path() / "stat" : "");
            const std::string stat{std::istreambuf_iterator<char>(in), {}};
            std::istringstream rest(stat.substr(std::min(stat.rfind(')') + 2, stat.size())));
            char state = 0;
            pid_t parent = 0, pgrp = 0;
            alive += rest >> state >> parent >> pgrp && pgrp == group && state != 'Z';
        }
        if (alive >= least && alive <= most)
            return true;
    }
    ADD_FAILURE() << alive << " processes, not " << least << " to " << most;
    return false;
}

// A compositor the test starts, stopped however the test ends.
struct Compositors : E2e {
    Program Compositor;
    void TearDown() override
    {
        KillProgram(&Compositor);
        E2e::TearDown();
    }
    // weston with args and its socket in the test's private (0700) directory, or fails the test.
    void StartWeston(Strings args, const std::string& socket, const Strings& env)
    {
        std::string error;
        args.insert(args.begin(), {"/usr/bin/weston", "--socket=" + socket});
        ASSERT_TRUE(SpawnProgram(&Compositor, args, ProgramEnvironment(env), TempDir, &error)) << error;
        for (auto end = Clock::now() + Ms(10000); !std::filesystem::exists(TempDir + "/" + socket);)
            ASSERT_TRUE(Clock::now() < end && !WaitExit(&Compositor, Ms(10))) << "weston: " << ReadStderr(Compositor);
    }
};

struct Sway : Compositors {
    std::string Runtime;   // its XDG_RUNTIME_DIR, nobody's
    wl_display* Conn = nullptr;
    zwlr_virtual_pointer_v1* Pointer = nullptr;

    void SetUp() override
    {
        E2e::SetUp();
        Runtime = TempDir + "/run";
        const std::string config = TempDir + "/config";
        std::ofstream(config) << "output HEADLESS-1 resolution 1280x720 position 0 0\n"
                                 "output HEADLESS-2 resolution 1600x1200 position 1280 0 scale 2\n";
        ASSERT_TRUE(chmod(TempDir.c_str(), 0711) == 0 && chmod(config.c_str(), 0644) == 0 &&
                    mkdir(Runtime.c_str(), 0700) == 0 && chown(Runtime.c_str(), 65534, 65534) == 0);
        std::string error;
        ASSERT_TRUE(SpawnProgram(&Compositor,
                                 {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups",
                                  "/usr/bin/sway", "-c", config},
                                 ProgramEnvironment({"HOME=" + Runtime, "XDG_RUNTIME_DIR=" + Runtime,
                                                     "WLR_BACKENDS=headless", "WLR_RENDERER=pixman",
                                                     "WLR_LIBINPUT_NO_DEVICES=1", "WLR_HEADLESS_OUTPUTS=2"}),
                                 TempDir, &error))
            << error;
        // The test's own client: a virtual pointer resting in the first output's middle.
        for (auto end = Clock::now() + Ms(10000); !(Conn = wl_display_connect((Runtime + "/wayland-1").c_str()));)
            ASSERT_TRUE(Clock::now() < end && !WaitExit(&Compositor, Ms(10))) << "no sway: " << ReadStderr(Compositor);
        static const wl_registry_listener listener = {
            .global = [](void* manager, wl_registry* r, uint32_t name, const char* interface, uint32_t) {
                using Manager = zwlr_virtual_pointer_manager_v1;
                if (std::string(interface) == zwlr_virtual_pointer_manager_v1_interface.name)
                    *static_cast<Manager**>(manager) =
                        static_cast<Manager*>(wl_registry_bind(r, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
            },
            .global_remove = [](void*, wl_registry*, uint32_t) {},
        };
        zwlr_virtual_pointer_manager_v1* manager = nullptr;
        wl_registry* registry = wl_display_get_registry(Conn);
        wl_registry_add_listener(registry, &listener, &manager);
        ASSERT_TRUE(wl_display_roundtrip(Conn) >= 0 && manager);
        Pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(manager, nullptr);
        zwlr_virtual_pointer_manager_v1_destroy(manager);   // the pointer outlives its maker
        wl_registry_destroy(registry);
        zwlr_virtual_pointer_v1_motion_absolute(Pointer, 0, 640, 360, 2080, 720);
        zwlr_virtual_pointer_v1_frame(Pointer);
        ASSERT_GE(wl_display_roundtrip(Conn), 0);
    }
    void TearDown() override
    {
        if (Pointer)
            zwlr_virtual_pointer_v1_destroy(Pointer);
        if (Conn)
            wl_display_disconnect(Conn);
        Compositors::TearDown();
    }
    Strings Env()   // sway's: for the saver, grim, wtype and swaymsg (sway's uid and pid name its socket)
    {
        return {"XDG_RUNTIME_DIR=" + Runtime, "WAYLAND_DISPLAY=wayland-1",
                "SWAYSOCK=" + Runtime + "/sway-ipc.65534." + std::to_string(Compositor.Pid) + ".sock"};
    }
    bool Run(const Strings& argv, Ms bound = Ms(5000))
    {
        Program p;
        std::string error;
        return SpawnProgram(&p, argv, ProgramEnvironment(Env()), TempDir, &error) && WaitExit(&p, bound) &&
               p.ExitStatus == 0;
    }
    // The output's picture in physical pixels, through grim.
    bool Grab(const std::string& output, Screenshot* shot)
    {
        const std::string file = TempDir + "/grab.ppm";
        if (!Run({"/usr/bin/grim", "-t", "ppm", "-o", output, file}))
            return false;
        std::ifstream in(file, std::ios::binary);
        std::string magic;
        int max = 0;
        in >> magic >> shot->Width >> shot->Height >> max;
        in.get();
        std::vector<unsigned char> bytes(size_t(shot->Width) * size_t(shot->Height) * 3);
        in.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
        shot->Pixels.resize(bytes.size() / 3);
        for (size_t i = 0; i < shot->Pixels.size(); ++i)
            shot->Pixels[i] = uint32_t(bytes[3 * i]) << 16 | uint32_t(bytes[3 * i + 1]) << 8 | bytes[3 * i + 2];
        return in && magic == "P6" && max == 255;
    }
    bool WaitFor(const std::string& output, bool (*accept)(const Screenshot&), Screenshot* shot = nullptr,
                 Ms timeout = Ms(10000 * GLYPHFALL_SLOWER))
    {
        Screenshot own;
        for (auto end = Clock::now() + timeout; !(Grab(output, shot ? shot : &own) && accept(shot ? *shot : own));)
            if (Clock::now() >= end)
                return false;
        return true;
    }
    void ExpectShown(const char* what)
    {
        for (const char* output : {"HEADLESS-1", "HEADLESS-2"})
            EXPECT_TRUE(WaitFor(output, Shown)) << what << ": " << output << " not covered; " << ReadStderr(Prog);
    }
    // A key through a virtual keyboard, once the saver has had time to take it as its seat's.
    void Key() { EXPECT_TRUE(Run({"/usr/bin/wtype", "-s", std::to_string(300 * GLYPHFALL_SLOWER), "a"})); }
    void Move(int dx, int dy)
    {
        zwlr_virtual_pointer_v1_motion(Pointer, 0, wl_fixed_from_int(dx), wl_fixed_from_int(dy));
        zwlr_virtual_pointer_v1_frame(Pointer);
        wl_display_roundtrip(Conn);
    }
    void Click(uint32_t button)
    {
        for (auto state : {WL_POINTER_BUTTON_STATE_PRESSED, WL_POINTER_BUTTON_STATE_RELEASED}) {
            zwlr_virtual_pointer_v1_button(Pointer, 0, button, state);
            zwlr_virtual_pointer_v1_frame(Pointer);
        }
        wl_display_roundtrip(Conn);
    }
};

// Each output its own picture, made for its shape and exactly enlarged on its physical pixels, the letter sized by
// its scale (192 DPI at 2: ink on the last row); the pictures change at the delay's pace: at 10 s a step hardly, at
// 20 ms as often as grim looks (the sanitizers' builds look longer: they and the load they bring slow grim down more
// than the saver); SIGTERM ends it at once.
TEST_F(Sway, EachOutputItsOwnExactPictureByItsScalePacedByTheDelay)
{
    int changes[2];
    const Ms span(GLYPHFALL_SLOWER > 1 ? 7500 : 2500);
    for (int delay : {10000000, 20000}) {
        Launch({"--delay", std::to_string(delay)}, Env(), GLYPHFALL_SAVER);
        Screenshot letter[2];
        ASSERT_TRUE(WaitFor("HEADLESS-1", IsTwoTone, &letter[0]) && WaitFor("HEADLESS-2", IsTwoTone, &letter[1]))
            << ReadStderr(Prog);
        for (int i = 0; i < 2 && delay > 20000; ++i) {
            const int width = i ? 200 : 267;
            const std::vector<uint32_t> raster = ExpectEnlargement(letter[i], width, i ? "scale 2" : "scale 1");
            EXPECT_EQ(std::count(raster.end() - width, raster.end(), 0u) > 0, i == 1) << "the letter's size";
        }
        // Pictures of the first output that differ from the one before, and the longest stillness.
        Screenshot last, shot;
        ASSERT_TRUE(WaitFor("HEADLESS-1", HasColour, &last));
        Ms still{0};
        int& count = changes[delay == 20000] = 0;
        for (auto start = Clock::now(), now = start, changed = start; now < start + span; now = Clock::now()) {
            if (Grab("HEADLESS-1", &shot) && shot.Pixels != last.Pixels) {
                ++count;
                changed = now;
                std::swap(shot, last);
            }
            still = std::max(still, std::chrono::duration_cast<Ms>(now - changed));
        }
        EXPECT_TRUE(delay > 20000 || still < Ms(1000 * GLYPHFALL_SLOWER)) << "the picture stood still";
        // Never a SIGTERM to pid -1 (every process) once it was reaped.
        ASSERT_GT(Prog.Pid, 0) << "ended already: " << DescribeStatus(Prog.ExitStatus) << "; " << ReadStderr(Prog);
        kill(Prog.Pid, SIGTERM);
        EXPECT_TRUE(ExpectExit(Clock::now(), Ms(500 * GLYPHFALL_SLOWER), 0, "", "SIGTERM"));
    }
    EXPECT_GT(changes[1], 2 * changes[0] + 2) << "pictures in " << span.count() << " ms at each --delay";
}

// Input ends every scene, exit 0; the inputs that must not come first. The pointer rests where
// the saver appeared: 10 pixels away is a tremor, 11 a nudge.
TEST_F(Sway, InputEndsAllScenes)
{
    const struct {
        const char* What;
        void (*Ignored)(Sway*);   // must leave it running (nullptr: none)
        void (*Act)(Sway*);
    } cases[] = {
        {"left click, not middle", [](Sway* t) { t->Click(BTN_MIDDLE); }, [](Sway* t) { t->Click(BTN_LEFT); }},
        {"11 pixels from rest, not 10", [](Sway* t) { t->Move(6, -4); t->Move(4, 4); }, [](Sway* t) { t->Move(1, 0); }},
        {"a jump to the other output", nullptr, [](Sway* t) { t->Move(700, 0); }},
    };
    for (const auto& c : cases) {
        Launch({}, Env(), GLYPHFALL_SAVER);
        ExpectShown(c.What);
        if (c.Ignored) {
            c.Ignored(this);
            ASSERT_FALSE(WaitExit(&Prog, Ms(700))) << c.What << ": ended early; " << ReadStderr(Prog);
        }
        c.Act(this);
        EXPECT_TRUE(ExpectExit(Clock::now(), Ms(2000 * GLYPHFALL_SLOWER), 0, "", c.What));
        EXPECT_TRUE(WaitFor("HEADLESS-1", Hidden)) << c.What << ": HEADLESS-1 stayed covered";
    }
}

// Started by swayidle as the README says; a key ends it.
TEST_F(Sway, SwayidleStartsItAndAKeyEndsIt)
{
    std::string error;
    ASSERT_TRUE(SpawnProgram(&Prog, {"/usr/bin/swayidle", "-w", "timeout", "1", GLYPHFALL_SAVER " &"},
                             ProgramEnvironment(Env()), TempDir, &error));
    ExpectShown("swayidle");
    Key();
    EXPECT_TRUE(WaitFor("HEADLESS-1", Hidden, nullptr, Ms(900 * GLYPHFALL_SLOWER))) << "still shown after the key";
}

// --idle: shown after a second without input, on an output added meanwhile too; a key ends every scene, and so
// does any input (a middle click, which the scenes ignore) through the idle notification; each time the next idle
// second shows them again. sway's end ends it, exit 1.
TEST_F(Sway, IdleOptionShowsHidesAndCoversNewOutputs)
{
    Launch({"--idle", "1"}, Env(), GLYPHFALL_SAVER);
    ExpectShown("--idle 1");
    ASSERT_TRUE(Run({"/usr/bin/swaymsg", "create_output"}));
    EXPECT_TRUE(WaitFor("HEADLESS-3", Shown)) << "the new output is not covered";
    EXPECT_TRUE(Alive(Prog.Pid, 4, 4)) << "not the saver and a scene per output";
    for (auto input : {+[](Sway* t) { t->Key(); }, +[](Sway* t) { t->Click(BTN_MIDDLE); }}) {
        input(this);
        EXPECT_TRUE(Alive(Prog.Pid, 1, 1)) << "a scene outlived the input";
        EXPECT_TRUE(WaitFor("HEADLESS-2", Hidden, nullptr, Ms(900 * GLYPHFALL_SLOWER))) << "still shown";
        ExpectShown("idle again");
    }
    KillProgram(&Compositor);
    EXPECT_TRUE(ExpectExit(Clock::now(), Ms(2000 * GLYPHFALL_SLOWER), 1, "lost the connection to the Wayland", "sway"));
}

// Where it cannot run: one line, the exit code, at once.
TEST_F(Compositors, SaverRefusesWhatItCannotCover)
{
    const std::string runtime = "XDG_RUNTIME_DIR=" + TempDir;
    ASSERT_NO_FATAL_FAILURE(StartWeston({"--backend=headless-backend.so"}, "w", {runtime}));
    const struct { Strings Args, Env; int Code; const char* Says; } cases[] = {
        {{}, {runtime, "WAYLAND_DISPLAY=w"}, 1, "no layer-shell"},
        {{}, {}, 1, "nor DISPLAY is set"},
        {{"--idle", "0"}, {}, 2, "--idle '0'"},
        {{"--idle", "5"}, {"DISPLAY=:4095"}, 2, "XScreenSaver owns idleness"},
        {{}, {runtime, "WAYLAND_DISPLAY=w", "GLYPHFALL_SAVER_SCENE=1:1"}, 2, "GLYPHFALL_SAVER_SCENE"},
        {{}, {runtime, "WAYLAND_DISPLAY=w", "GLYPHFALL_SAVER_SCENE=" + std::to_string(getpid()) + ":99999"}, 3,
         "output 99999 is not there"},
    };
    for (const auto& c : cases) {
        Launch(c.Args, c.Env, GLYPHFALL_SAVER);
        EXPECT_TRUE(ExpectExit(Prog.Started, Ms(2000 * GLYPHFALL_SLOWER), c.Code, c.Says, c.Says));
    }
}

// Each monitor its own scene; a key ends them all.
TEST_F(E2e, X11DesktopEntryShowsEachMonitorItsSceneAndAKeyEndsAll)
{
    std::string error;
    ASSERT_TRUE(StartTwoHeads(&Server, TempDir, &error)) << error;
    Program install;
    const std::string prefix = TempDir + "/usr";
    ASSERT_TRUE(SpawnProgram(&install, {CMAKE_COMMAND, "--install", BUILD_DIR, "--prefix", prefix},
                             ProgramEnvironment({}), TempDir, &error) && WaitExit(&install, Ms(60000)) &&
                install.ExitStatus == 0) << error << ReadStderr(install);
    std::ifstream entry(prefix + "/share/applications/glyphfall.desktop");
    Strings exec;
    for (std::string line, word; std::getline(entry, line);)
        for (std::istringstream words(line.rfind("Exec=", 0) ? "" : line.substr(5)); words >> word;)
            exec.push_back(exec.empty() ? prefix + "/bin/" + word : word);
    ASSERT_FALSE(exec.empty()) << "no Exec line";
    XSetInputFocus(Server.Conn, None, RevertToNone, CurrentTime);   // keys go nowhere until the saver takes them
    Launch(Strings(exec.begin() + 1, exec.end()), {"WAYLAND_DISPLAY=none", "XDG_RUNTIME_DIR=" + TempDir},
           exec[0].c_str());   // no Wayland compositor: the X11 mode
    std::vector<uint32_t> raster[2];   // each monitor's, exact, with colour
    auto both = [&](const Screenshot& s) {
        return !EnlargementErrors(s, 200, &raster[0], 0, 0, 1024, 768) && HasColour({200, 150, raster[0]}) &&
               !EnlargementErrors(s, 200, &raster[1], 1024, 0, 1024, 768) && HasColour({200, 150, raster[1]});
    };
    Screenshot shot;
    ASSERT_TRUE(WaitForScreen(Server.Conn, Ms(20000), both, &shot)) << "no exact scene on each; " << ReadStderr(Prog);
    EXPECT_NE(raster[0], raster[1]);
    EXPECT_TRUE(Alive(Prog.Pid, 3, 3)) << "not the saver and a scene per monitor";
    TapKey(Server.Conn, XK_a);
    EXPECT_TRUE(Alive(Prog.Pid, 0, 0, Ms(3000))) << "a process was left";
}

struct X11SaverEnds : E2e, testing::WithParamInterface<EndCase> {};

TEST_P(X11SaverEnds, WhenItShould)
{
    StartServer(1024, 768);
    ASSERT_NO_FATAL_FAILURE(Launch({}, {}, GLYPHFALL_SAVER));
    ExpectEnding(GetParam());
}

INSTANTIATE_TEST_SUITE_P(E2e, X11SaverEnds, testing::ValuesIn(InputEndings(true)),
                         [](const auto& info) { return info.param.Name; });

// glyphfall on weston: the letter exact on physical pixels, drawn at 192 DPI on an output scaled by 2
// (ink on its last row); a resting cursor and a 1-pixel move leave it running; a key, a 4-pixel move,
// a click or weston's close request end it (exit 0), weston's end with exit 1, each promptly.
struct WaylandCase { int WestonScale; const char* What; void (*End)(Display*, Program* weston); };

struct Wayland : Compositors, testing::WithParamInterface<WaylandCase> {};

TEST_P(Wayland, TheLetterExactOnPhysicalPixelsARestingCursorStaysInputACloseOrALostCompositorEnds)
{
    const WaylandCase c = GetParam();
    ASSERT_NO_FATAL_FAILURE(StartServer(1280, 1024));
    Display* d = Server.Conn;
    MoveTo(d, 640, 512);   // the cursor rests in the middle from the start
    // weston fills the Xvfb, renders with pixman and sends the close request on F10 (weston_close.cpp).
    const std::string runtime = "XDG_RUNTIME_DIR=" + TempDir;
    const std::string scale = std::to_string(c.WestonScale);
    ASSERT_NO_FATAL_FAILURE(StartWeston({"--backend=x11-backend.so", "--use-pixman", "--modules=" WESTON_CLOSE,
                                         "--width=" + std::to_string(1280 / c.WestonScale), "--scale=" + scale,
                                         "--height=" + std::to_string(1024 / c.WestonScale)},
                                        "wayland-glyphfall", {"DISPLAY=" + Server.Name, runtime}));
    // SDL_Quit unloads Mesa's EGL and llvmpipe, whose blocks left at exit
    // LeakSanitizer can then attribute to no library: no leak check here.
    const char* asan = std::getenv("ASAN_OPTIONS");
    ASSERT_NO_FATAL_FAILURE(Launch({}, {"DISPLAY=", "WAYLAND_DISPLAY=wayland-glyphfall", runtime,
                                        "ASAN_OPTIONS=" + std::string(asan ? asan : "") + ":detect_leaks=0"}));
    Screenshot letter;
    ASSERT_TRUE(WaitForPhase(true, &letter)) << "no full-screen two-tone letter without a cursor";
    const std::vector<uint32_t> raster = ExpectEnlargement(letter, 188, "the letter");
    EXPECT_EQ(std::count(raster.end() - 188, raster.end(), 0u) > 0, c.WestonScale == 2) << "the letter's size";
    ASSERT_TRUE(WaitForPhase(false));
    ASSERT_FALSE(WaitExit(&Prog, Ms(300))) << "the resting cursor ended it: " << ReadStderr(Prog);
    // weston draws a cursor into the picture, which would spoil the enlargement.
    Screenshot frame;
    ASSERT_TRUE(TakeScreenshot(d, &frame));
    ExpectEnlargement(frame, 188, "a frame without a cursor");
    MoveBy(d, 1, 0);
    ASSERT_FALSE(WaitExit(&Prog, Ms(300))) << "a 1-pixel move ended it: " << ReadStderr(Prog);
    const auto since = Clock::now();
    c.End(d, &Compositor);
    const bool gone = Compositor.Pid < 0;
    ExpectExit(since, Ms(3000), gone ? 1 : 0, gone ? "lost the connection to the Wayland" : "", c.What);
}

INSTANTIATE_TEST_SUITE_P(
    E2e, Wayland,
    testing::Values(WaylandCase{1, "key on Wayland", [](Display* d, Program*) { TapKey(d, XK_a); }},
                    WaylandCase{2, "weston killed", [](Display*, Program* weston) { KillProgram(weston); }},
                    // At scale 1: 4 logical pixels.
                    WaylandCase{1, "4-pixel move on Wayland", [](Display* d, Program*) { MoveBy(d, 4, 0); }},
                    WaylandCase{2, "left click on Wayland", [](Display* d, Program*) { ClickButton(d, 1); }},
                    WaylandCase{1, "weston's close request", [](Display* d, Program*) { TapKey(d, XK_F10); }}));

}  // namespace
