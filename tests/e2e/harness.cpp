// End-to-end harness: Xvfb, processes, XTest input and screenshots.
#include "tests/e2e/harness.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <thread>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

// Starts argv, a server taking "-displayfd N" after argv[0].
static bool StartServerProgram(XServer* server, Strings argv, const std::string& tempDir, std::string* error)
{
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });   // other clients' windows vanish while we look
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) == 0)
        fcntl(fds[1], F_SETFD, 0);   // the write end goes to the server
    argv.insert(argv.begin() + 1, {"-displayfd", std::to_string(fds[1])});
    Program xvfb;
    const bool spawned = SpawnProgram(&xvfb, argv, ProgramEnvironment({}), tempDir, error);
    close(fds[1]);
    // Once it accepts clients, the server writes "N\n" (in two writes); EOF if it dies.
    char c = 0;
    pollfd p = {fds[0], POLLIN, 0};
    for (server->Name = ":"; spawned && poll(&p, 1, 15000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n';)
        server->Name += c;
    close(fds[0]);
    if (c == '\n' && (server->Conn = XOpenDisplay(server->Name.c_str()))) {
        server->Pid = xvfb.Pid;
        return true;
    }
    KillProgram(&xvfb);
    *error += argv[0] + " did not come up: " + ReadStderr(xvfb);
    return false;
}

void E2e::StartServer(int width, int height, const Strings& extra, int depth)
{
    const std::string screen = std::to_string(width) + "x" + std::to_string(height) + "x" + std::to_string(depth);
    Strings argv = {"/usr/bin/Xvfb", "-screen", "0", screen, "-nolisten", "tcp", "-br"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    std::string error;
    ASSERT_TRUE(StartServerProgram(&Server, argv, TempDir, &error)) << error;
}

bool StartTwoHeads(XServer* server, const std::string& tempDir, std::string* error)
{
    return StartServerProgram(server, {"/usr/bin/Xorg", "-config", XORG_TWO_HEADS, "-noreset", "-nolisten", "tcp",
                                       "-logfile", tempDir + "/Xorg.log"}, tempDir, error);
}

void StopXServer(XServer* server, int signal)
{
    if (server->Conn)   // ours first: Xlib ends a process whose server is gone
        XCloseDisplay(std::exchange(server->Conn, nullptr));
    Program xvfb;
    xvfb.Pid = std::exchange(server->Pid, -1);
    // The next Xvfb reclaims the lock and socket of a killed one.
    if (xvfb.Pid > 0 && kill(xvfb.Pid, signal) == 0 && !WaitExit(&xvfb, Ms(3000)))
        KillProgram(&xvfb);
}

Strings ProgramEnvironment(const Strings& add)
{
    Strings env = add;
    for (char** e = environ; *e; ++e) {
        const std::string name(*e, std::strcspn(*e, "=") + 1);   // "NAME="
        if (name != "DISPLAY=" && name != "WAYLAND_DISPLAY=" && name != "SDL_VIDEODRIVER=" &&
            std::none_of(add.begin(), add.end(), [&](const std::string& a) { return !a.rfind(name, 0); }))
            env.push_back(*e);
    }
    return env;
}

bool SpawnProgram(Program* program, const Strings& argv, const Strings& env, const std::string& tempDir,
                  std::string* error)
{
    static int runs = 0;
    *program = Program{};
    program->StderrPath = tempDir + "/output-" + std::to_string(++runs) + ".txt";
    std::vector<char*> pointers[2];
    for (int i = 0; i < 2; ++i) {
        for (const std::string& s : i ? env : argv)
            pointers[i].push_back(const_cast<char*>(s.c_str()));
        pointers[i].push_back(nullptr);
    }
    const int out = open(program->StderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = getpid();
    program->Started = Clock::now();
    if ((program->Pid = fork()) == 0) {
        // Its own group, so that what it forks is killed with it; and it dies
        // with the test process, so that a crash leaves nothing behind.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() == parent && dup2(null, 0) == 0 && dup2(out, 1) == 1 && dup2(out, 2) == 2)
            execve(pointers[0][0], pointers[0].data(), pointers[1].data());
        _exit(127);
    }
    close(out), close(null);
    if (program->Pid < 0)
        *error = std::string("fork: ") + std::strerror(errno);
    setpgid(program->Pid, program->Pid);   // here too, so that the group exists before any kill
    return program->Pid > 0;
}

bool WaitExit(Program* program, Ms timeout)
{
    for (const auto deadline = Clock::now() + timeout; program->Pid > 0; std::this_thread::sleep_for(Ms(1))) {
        if (waitpid(program->Pid, &program->ExitStatus, WNOHANG) == program->Pid) {
            program->ExitSeen = Clock::now();
            kill(-std::exchange(program->Pid, -1), SIGKILL);
        } else if (Clock::now() >= deadline) {
            return false;
        }
    }
    return true;
}

void KillProgram(Program* program)
{
    if (program->Pid > 0)
        kill(-program->Pid, SIGKILL), waitpid(std::exchange(program->Pid, -1), &program->ExitStatus, 0);
}

std::string ReadStderr(const Program& program)
{
    std::ifstream in(program.StderrPath);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string DescribeStatus(int status)
{
    return WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                               : "exit " + std::to_string(WEXITSTATUS(status));
}

void TapKey(Display* d, unsigned long keysym, unsigned long held)
{
    const KeyCode key = XKeysymToKeycode(d, keysym), hold = held ? XKeysymToKeycode(d, held) : 0;
    EXPECT_TRUE(key && (hold || !held)) << "no key for keysym 0x" << std::hex << keysym << " or 0x" << held;
    for (const auto& [code, down] : {std::pair{hold, 1}, {key, 1}, {key, 0}, {hold, 0}})
        if (code)
            XTestFakeKeyEvent(d, code, down, CurrentTime);
    XSync(d, False);
}

void ClickButton(Display* d, unsigned button)
{
    XTestFakeButtonEvent(d, button, True, CurrentTime), XTestFakeButtonEvent(d, button, False, CurrentTime);
    XSync(d, False);
}

void MoveBy(Display* d, int dx, int dy) { XTestFakeRelativeMotionEvent(d, dx, dy, CurrentTime), XSync(d, False); }

void MoveTo(Display* d, int x, int y) { XTestFakeMotionEvent(d, DefaultScreen(d), x, y, CurrentTime), XSync(d, False); }

std::vector<Window> TopWindows(Display* d)
{
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
    std::vector<Window> shown;
    XWindowAttributes a;
    for (unsigned i = 0; i < count; ++i)
        if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable)
            shown.push_back(children[i]);
    XFree(children);
    return shown;
}

void SendClose(Display* d, Window window)
{
    XEvent close = {};
    close.xclient = {ClientMessage, 0, True, d, window, XInternAtom(d, "WM_PROTOCOLS", False), 32, {}};
    close.xclient.data.l[0] = long(XInternAtom(d, "WM_DELETE_WINDOW", False));
    XSendEvent(d, window, False, NoEventMask, &close);
    XSync(d, False);
}

// A channel of mask's width in pixel, at 8 bits, rounded: a 10-bit 4v + v / 64 reads as v.
static uint32_t Channel(unsigned long pixel, unsigned long mask)
{
    const int shift = mask ? __builtin_ctzl(mask) : 0;
    const unsigned long top = mask >> shift;
    return top ? uint32_t((((pixel & mask) >> shift) * 255 + top / 2) / top) : 0;
}

bool TakeScreenshot(Display* d, Screenshot* s, Window window)
{
    XWindowAttributes a;
    window = window ? window : DefaultRootWindow(d);
    XImage* image = XGetWindowAttributes(d, window, &a) ? XGetImage(d, window, 0, 0, unsigned(a.width),
                                                                     unsigned(a.height), AllPlanes, ZPixmap)
                                                        : nullptr;
    if (!image)
        return false;
    *s = {a.width, a.height, std::vector<uint32_t>(size_t(a.width) * size_t(a.height)), true};
    const unsigned long r = image->red_mask, g = image->green_mask, b = image->blue_mask,
                        alpha = (a.depth < 32 ? (1ul << a.depth) - 1 : 0xFFFFFFFFul) & ~(r | g | b);
    for (size_t i = 0; i < s->Pixels.size(); ++i) {
        const unsigned long p = XGetPixel(image, int(i % size_t(a.width)), int(i / size_t(a.width)));
        s->Pixels[i] = Channel(p, r) << 16 | Channel(p, g) << 8 | Channel(p, b);
        s->Opaque &= (p & alpha) == alpha;
    }
    XDestroyImage(image);
    return true;
}

bool WaitForScreen(Display* d, Ms timeout, const std::function<bool(const Screenshot&)>& accept, Screenshot* shot,
                   Window window)
{
    for (const auto deadline = Clock::now() + timeout; !(TakeScreenshot(d, shot, window) && accept(*shot));
         std::this_thread::sleep_for(Ms(20)))
        if (Clock::now() >= deadline)
            return false;
    return true;
}

bool IsTwoTone(const Screenshot& s)
{
    const auto black = std::count(s.Pixels.begin(), s.Pixels.end(), 0u);
    const auto white = std::count(s.Pixels.begin(), s.Pixels.end(), 0xFFFFFFu);
    return black && white && size_t(black + white) == s.Pixels.size();
}

bool HasColour(const Screenshot& s)
{
    return std::any_of(s.Pixels.begin(), s.Pixels.end(),
                       [](uint32_t p) { return (p >> 16) != ((p >> 8) & 0xFF) || (p >> 16) != (p & 0xFF); });
}

size_t EnlargementErrors(const Screenshot& s, int rasterWidth, std::vector<uint32_t>* raster, int left, int top,
                         int width, int height, bool centres)
{
    width = width ? width : s.Width;
    height = height ? height : s.Height;
    // Row by row, the first pixel met of a cell is its top-left one: every other pixel of the cell must equal it.
    std::vector<uint32_t> own, &cells = raster ? *raster : own;
    cells.assign(size_t(rasterWidth) * 150, 0);
    std::vector<bool> seen(cells.size());
    size_t wrong = 0;
    for (int64_t y = 0, c = centres; y < height; ++y)   // (2x + 1) / 2W instead of 2x / 2W
        for (int64_t x = 0; x < width; ++x) {
            const size_t cell = size_t((2 * y + c) * 150 / (2 * height)) * size_t(rasterWidth) +
                                size_t((2 * x + c) * rasterWidth / (2 * width));
            const uint32_t pixel = s.At(int(left + x), int(top + y));
            cells[cell] = seen[cell] ? cells[cell] : pixel;
            seen[cell] = true;
            wrong += pixel != cells[cell];
        }
    return wrong;
}

std::vector<uint32_t> ExpectEnlargement(const Screenshot& s, int rasterWidth, const char* what, int left, int top,
                                        int width, int height, bool centres)
{
    std::vector<uint32_t> raster;
    EXPECT_EQ(EnlargementErrors(s, rasterWidth, &raster, left, top, width, height, centres), 0u)
        << what << ": pixels that are not the enlargement of a " << rasterWidth << "x150 raster";
    return raster;
}

bool E2e::WaitForPhase(bool letter, Screenshot* shot)
{
    Screenshot own;
    if (WaitForScreen(Server.Conn, Ms(20000), letter ? IsTwoTone : HasColour, shot ? shot : &own))
        return true;
    ADD_FAILURE() << (letter ? "no two-tone letter" : "no coloured frame") << " came; the program "
                  << (WaitExit(&Prog, Ms(0)) ? DescribeStatus(Prog.ExitStatus) : "runs") << ": " << ReadStderr(Prog);
    return false;
}

bool E2e::ExpectExit(Clock::time_point since, Ms bound, int code, const char* says, const std::string& what)
{
    if (!WaitExit(&Prog, bound - std::chrono::duration_cast<Ms>(Clock::now() - since))) {
        ADD_FAILURE() << what << ": still running " << bound.count() << " ms later";
        return false;
    }
    const int status = Prog.ExitStatus;
    const std::string text = ReadStderr(Prog);   // the timing goes to the log
    std::printf("[e2e] %s: %s after %.0f ms\n", what.c_str(), DescribeStatus(status).c_str(),
                std::chrono::duration<double, std::milli>(Prog.ExitSeen - since).count());
    const bool right = code < 0 ? WIFSIGNALED(status) && WTERMSIG(status) == -code
                                : WIFEXITED(status) && WEXITSTATUS(status) == code;
    EXPECT_TRUE(right) << what << ": " << DescribeStatus(status) << "; output: " << text;
    const bool oneLine = !text.rfind("glyphfall", 0) && text.find('\n') == text.size() - 1;
    const bool said = !says || (*says ? oneLine && text.find(says) != text.npos : text.empty());
    EXPECT_TRUE(said) << what << ": unexpected output: " << text;
    return right;
}

void E2e::ExpectEnding(const EndCase& c)
{
    ASSERT_TRUE(c.Phase < 0 || WaitForPhase(c.Phase == 1));
    if (c.Ignored) {
        c.Ignored(this);
        ASSERT_FALSE(WaitExit(&Prog, Ms(700))) << "ended by input to ignore: " << DescribeStatus(Prog.ExitStatus);
    }
    c.Ending(this);
    const auto ended = Clock::now();
    // The window goes before any exit handler (a sanitizer's) runs: the black root shows.
    auto gone = [](const Screenshot& s) { return std::all_of(s.Pixels.begin(), s.Pixels.end(), std::logical_not()); };
    Screenshot root;
    EXPECT_TRUE(!Server.Conn || WaitForScreen(Server.Conn, Ms(c.BoundMs), gone, &root)) << "the window stayed";
    ExpectExit(ended, Ms(c.Phase < 0 ? c.BoundMs : 5000), c.Code, c.Says, c.Name);
}

// Moves of 3 pixels on one axis or both, each its own motion event: a slow drift 27 pixels right
// and down from where the pointer rested, far beyond a screen saver's wake distance.
static void SlowDrift(E2e* t)
{
    for (int i = 0; i < 18; ++i) {
        const int step[][2] = {{3, 0}, {0, 3}, {3, 3}, {-3, 3}, {3, -3}, {3, 3}};
        MoveBy(t->Server.Conn, step[i % 6][0], step[i % 6][1]), std::this_thread::sleep_for(Ms(20));
    }
}

std::vector<EndCase> InputEndings(bool fromRest)
{
    std::vector<EndCase> cases = {
        {"KeyWhileAnimating", 0, nullptr, [](E2e* t) { TapKey(t->Server.Conn, XK_a); }},
        {"LeftClickNotMiddleOrWheel", 0,
         [](E2e* t) {
             for (unsigned button : {2, 4, 5, 6, 7})
                 ClickButton(t->Server.Conn, button);
         },
         [](E2e* t) { ClickButton(t->Server.Conn, 1); }},
        {"RightClickNotAltOrF10", 0,
         [](E2e* t) {
             for (const auto& [key, held] : {std::pair{XK_Alt_L, 0}, {XK_a, XK_Alt_L}, {XK_F10, 0}})
                 TapKey(t->Server.Conn, key, held);
         },
         [](E2e* t) { ClickButton(t->Server.Conn, 3); }},
    };
    if (fromRest)   // jumps of 10 pixels that stay within 10 of the resting place
        cases.push_back({"DriftNotTenPixelsFromRest", 0,
                         [](E2e* t) { MoveBy(t->Server.Conn, 10, -10), MoveBy(t->Server.Conn, -10, 20); }, SlowDrift});
    else
        cases.insert(cases.end(),
                     {{"FourPixelsRightNotThree", 0, SlowDrift, [](E2e* t) { MoveBy(t->Server.Conn, 4, 0); }},
                      {"FourPixelsUpNotThree", 0, SlowDrift, [](E2e* t) { MoveBy(t->Server.Conn, 0, -4); }}});
    return cases;
}
