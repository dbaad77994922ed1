// End-to-end harness: Xvfb, the program, XTest input and screenshots.
#include "tests/e2e/harness.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>

extern char** environ;

using namespace std::chrono;

double MsBetween(Clock::time_point from, Clock::time_point to)
{
    return duration<double, std::milli>(to - from).count();
}

// ---- Processes ----------------------------------------------------------

// In the child between fork and exec: die with the test process, so that a
// crashed or killed test binary leaves no Xvfb or glyphfall behind.
static void TieToParent(pid_t parent)
{
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(127);
}

static std::vector<char*> Pointers(std::vector<std::string>& strings)
{
    std::vector<char*> out;
    for (std::string& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

static void Reap(pid_t pid, int* status)
{
    while (waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
}

// ---- The X server -------------------------------------------------------

// The X servers' own convention: display n is taken while /tmp/.Xn-lock
// exists. (A socket left by a crashed server does not count; a new server
// replaces it.)
static bool DisplayLooksFree(int n)
{
    struct stat st;
    return stat(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), &st) != 0;
}

static pid_t LockOwner(int n)
{
    std::ifstream in("/tmp/.X" + std::to_string(n) + "-lock");
    long owner = 0;
    return in >> owner ? pid_t(owner) : pid_t(0);
}

// Starts Xvfb on display n and connects to it. False when it exits first
// (typically: another server took the number meanwhile) or never answers.
static bool TryDisplay(XServer* server, int n, int width, int height, const std::vector<std::string>& extra)
{
    std::vector<std::string> args = {"Xvfb", ":" + std::to_string(n), "-screen", "0",
                                     std::to_string(width) + "x" + std::to_string(height) + "x24",
                                     "-nolisten", "tcp"};
    args.insert(args.end(), extra.begin(), extra.end());
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        TieToParent(parent);
        const int log = open(server->LogPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(log >= 0 ? log : null, 1);
        dup2(log >= 0 ? log : null, 2);
        std::vector<char*> argv = Pointers(args);
        execvp("Xvfb", argv.data());
        _exit(127);
    }
    if (pid < 0)
        return false;
    // Ready once it holds the lock of display n and answers there; the lock
    // tells our server from another that got the number first.
    const std::string name = ":" + std::to_string(n);
    const auto deadline = Clock::now() + seconds(15);
    int status;
    while (Clock::now() < deadline) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return false;
        if (LockOwner(n) == pid) {
            if (Display* conn = XOpenDisplay(name.c_str())) {
                server->Pid = pid;
                server->Number = n;
                server->Name = name;
                server->Conn = conn;
                return true;
            }
        }
        std::this_thread::sleep_for(milliseconds(10));
    }
    kill(pid, SIGKILL);
    Reap(pid, &status);
    return false;
}

// Windows of other clients come and go while the harness looks at them; an
// error about one that just vanished must not end the test process, which is
// what Xlib's default handler does.
static int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

bool StartXServer(XServer* server, int width, int height, const std::vector<std::string>& extra,
                  const std::string& tempDir, std::string* error)
{
    XSetErrorHandler(IgnoreXError);
    server->LogPath = tempDir + "/xvfb.log";
    // A few tries: a server that fails for another reason than a taken
    // number fails the same way on every number.
    int tries = 0;
    for (int n = 90; n < 190 && server->Pid < 0 && tries < 8; ++n)
        if (DisplayLooksFree(n)) {
            ++tries;
            TryDisplay(server, n, width, height, extra);
        }
    if (server->Pid < 0) {
        std::ifstream log(server->LogPath);
        std::stringstream text;
        text << log.rdbuf();
        *error = "no Xvfb could be started on :90..:189 (" + std::to_string(width) + "x" + std::to_string(height) +
                 "); its last words: " + text.str();
        return false;
    }
    int event, err, major, minor;
    if (!XTestQueryExtension(server->Conn, &event, &err, &major, &minor)) {
        *error = "Xvfb " + server->Name + " has no XTEST extension";
        StopXServer(server);
        return false;
    }
    server->Width = DisplayWidth(server->Conn, DefaultScreen(server->Conn));
    server->Height = DisplayHeight(server->Conn, DefaultScreen(server->Conn));
    return true;
}

// Removes the lock file and socket of display n when pid left them behind.
// Removes the lock file and socket that a killed server of ours left.
static void RemoveStaleDisplay(int n, pid_t pid)
{
    if (LockOwner(n) != pid)
        return;
    unlink(("/tmp/.X11-unix/X" + std::to_string(n)).c_str());
    unlink(("/tmp/.X" + std::to_string(n) + "-lock").c_str());
}

void StopXServer(XServer* server, int signal)
{
    // Our connection goes first: Xlib's default handler would end this very
    // process on a connection whose server is gone.
    if (server->Conn) {
        XCloseDisplay(server->Conn);
        server->Conn = nullptr;
    }
    if (server->Pid <= 0)
        return;
    kill(server->Pid, signal);
    int status = 0;
    const auto deadline = Clock::now() + seconds(3);
    while (waitpid(server->Pid, &status, WNOHANG) == 0) {
        if (Clock::now() >= deadline) {
            kill(server->Pid, SIGKILL);
            Reap(server->Pid, &status);
            break;
        }
        std::this_thread::sleep_for(milliseconds(2));
    }
    RemoveStaleDisplay(server->Number, server->Pid);
    server->Pid = -1;
}

// ---- The program --------------------------------------------------------

std::vector<std::string> ProgramEnvironment(const std::vector<std::string>& add)
{
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = nameOf(entry);
        bool replaced = false;
        for (const std::string& a : add)
            replaced = replaced || nameOf(a) == name;
        if (!replaced && name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "SDL_VIDEODRIVER")
            env.push_back(entry);
    }
    env.insert(env.end(), add.begin(), add.end());
    return env;
}

bool SpawnProgram(Program* program, const std::vector<std::string>& args, const std::vector<std::string>& env,
                  const std::string& tempDir, std::string* error)
{
    static int runs = 0;
    *program = Program{};
    program->StderrPath = tempDir + "/stderr-" + std::to_string(++runs) + ".txt";
    std::vector<std::string> argv = {GLYPHFALL_PROGRAM};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envCopy = env;
    std::vector<char*> argp = Pointers(argv), envp = Pointers(envCopy);

    const pid_t parent = getpid();
    program->Started = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        // Its own process group, so that a helper it forks (the error box)
        // is killed with it.
        setpgid(0, 0);
        TieToParent(parent);
        const int err = open(program->StderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, 0);
        dup2(null, 1);
        if (err >= 0)
            dup2(err, 2);
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    if (pid < 0) {
        *error = std::string("fork failed: ") + std::strerror(errno);
        return false;
    }
    setpgid(pid, pid);   // also here, so the group exists before any kill
    program->Pid = pid;
    return true;
}

bool WaitExit(Program* program, milliseconds timeout)
{
    if (program->Exited)
        return true;
    if (program->Pid <= 0)
        return false;
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(program->Pid, &status, WNOHANG);
        if (r == program->Pid) {
            program->ExitSeen = Clock::now();
            program->Exited = true;
            program->ExitStatus = status;
            // Whatever it forked dies with it.
            kill(-program->Pid, SIGKILL);
            program->Pid = -1;
            return true;
        }
        if (Clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(microseconds(500));
    }
}

bool StillRunning(Program* program)
{
    return !WaitExit(program, milliseconds(0)) && program->Pid > 0;
}

void KillProgram(Program* program)
{
    if (program->Pid <= 0)
        return;
    kill(-program->Pid, SIGKILL);
    kill(program->Pid, SIGKILL);
    int status;
    Reap(program->Pid, &status);
    program->Pid = -1;
}

std::string ReadStderr(const Program& program)
{
    std::ifstream in(program.StderrPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string DescribeStatus(int status)
{
    if (WIFEXITED(status))
        return "exit " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status))
        return "signal " + std::to_string(WTERMSIG(status)) + (WCOREDUMP(status) ? " (core dumped)" : "");
    return "status " + std::to_string(status);
}

// ---- Input --------------------------------------------------------------

static unsigned KeycodeOf(Display* d, unsigned long keysym)
{
    const unsigned code = XKeysymToKeycode(d, KeySym(keysym));
    EXPECT_NE(code, 0u) << "the server's keymap has no key for keysym 0x" << std::hex << keysym;
    return code;
}

void KeyDown(Display* d, unsigned long keysym)
{
    XTestFakeKeyEvent(d, KeycodeOf(d, keysym), True, CurrentTime);
    XSync(d, False);
}

void KeyUp(Display* d, unsigned long keysym)
{
    XTestFakeKeyEvent(d, KeycodeOf(d, keysym), False, CurrentTime);
    XSync(d, False);
}

void TapKey(Display* d, unsigned long keysym)
{
    XTestFakeKeyEvent(d, KeycodeOf(d, keysym), True, CurrentTime);
    XTestFakeKeyEvent(d, KeycodeOf(d, keysym), False, CurrentTime);
    XSync(d, False);
}

void ClickButton(Display* d, unsigned button)
{
    XTestFakeButtonEvent(d, button, True, CurrentTime);
    XTestFakeButtonEvent(d, button, False, CurrentTime);
    XSync(d, False);
}

void MoveBy(Display* d, int dx, int dy)
{
    XTestFakeRelativeMotionEvent(d, dx, dy, CurrentTime);
    XSync(d, False);
}

void MoveTo(Display* d, int x, int y)
{
    XTestFakeMotionEvent(d, DefaultScreen(d), x, y, CurrentTime);
    XSync(d, False);
}

void PointerAt(Display* d, int* x, int* y)
{
    Window root, child;
    int wx, wy;
    unsigned mask;
    XQueryPointer(d, DefaultRootWindow(d), &root, &child, x, y, &wx, &wy, &mask);
}

// ---- Screen -------------------------------------------------------------

bool TakeScreenshot(Display* d, Screenshot* shot)
{
    const int screen = DefaultScreen(d);
    const int w = DisplayWidth(d, screen), h = DisplayHeight(d, screen);
    XImage* image = XGetImage(d, DefaultRootWindow(d), 0, 0, unsigned(w), unsigned(h), AllPlanes, ZPixmap);
    if (!image)
        return false;
    // Depth 24 in 32-bit pixels is what every -screen WxHx24 Xvfb gives.
    const bool usable = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
                        image->green_mask == 0xFF00 && image->blue_mask == 0xFF && image->byte_order == LSBFirst;
    EXPECT_TRUE(usable) << "unexpected screenshot format: " << image->bits_per_pixel << " bpp";
    if (usable) {
        shot->Width = w;
        shot->Height = h;
        shot->Pixels.resize(size_t(w) * size_t(h));
        for (int y = 0; y < h; ++y) {
            const auto* row = reinterpret_cast<const uint32_t*>(image->data + size_t(y) * size_t(image->bytes_per_line));
            for (int x = 0; x < w; ++x)
                shot->Pixels[size_t(y) * size_t(w) + size_t(x)] = row[x] & 0xFFFFFFu;
        }
    }
    XDestroyImage(image);
    return usable;
}

bool WaitForScreen(Display* d, milliseconds timeout, const std::function<bool(const Screenshot&)>& accept,
                   Screenshot* shot, Clock::time_point* seen)
{
    const auto deadline = Clock::now() + timeout;
    do {
        const auto taken = Clock::now();
        if (TakeScreenshot(d, shot) && accept(*shot)) {
            *seen = taken;
            return true;
        }
        std::this_thread::sleep_for(milliseconds(20));
    } while (Clock::now() < deadline);
    return false;
}

bool IsTwoTone(const Screenshot& shot)
{
    bool black = false, white = false;
    for (uint32_t p : shot.Pixels) {
        if (p == 0)
            black = true;
        else if (p == 0xFFFFFF)
            white = true;
        else
            return false;
    }
    return black && white;
}

size_t ColouredPixels(const Screenshot& shot)
{
    size_t n = 0;
    for (uint32_t p : shot.Pixels) {
        const uint32_t r = p >> 16, g = (p >> 8) & 0xFF, b = p & 0xFF;
        n += (r != g || g != b);
    }
    return n;
}

// The window's _NET_WM_NAME or WM_NAME, whatever its type: XFetchName
// returns only STRING titles, and SDL writes UTF8_STRING ones.
static std::string WindowTitle(Display* d, Window w)
{
    const Atom names[] = {XInternAtom(d, "_NET_WM_NAME", False), XA_WM_NAME};
    for (Atom property : names) {
        Atom type;
        int format;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const bool got = XGetWindowProperty(d, w, property, 0, 256, False, AnyPropertyType, &type, &format, &count,
                                            &after, &data) == Success &&
                         data && format == 8;
        std::string title = got ? std::string(reinterpret_cast<const char*>(data), count) : std::string();
        if (data)
            XFree(data);
        if (!title.empty())
            return title;
    }
    return "";
}

Window FindTopLevel(Display* d, const char* cls, const char* name)
{
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count))
        return 0;
    Window found = 0;
    for (unsigned i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes;
        if (!XGetWindowAttributes(d, children[i], &attributes) || attributes.map_state != IsViewable)
            continue;
        if (cls) {
            XClassHint hint = {};
            if (XGetClassHint(d, children[i], &hint)) {
                if ((hint.res_class && !std::strcmp(hint.res_class, cls)) ||
                    (hint.res_name && !std::strcmp(hint.res_name, cls)))
                    found = children[i];
                XFree(hint.res_name);
                XFree(hint.res_class);
            }
        }
        if (name && !found && WindowTitle(d, children[i]) == name)
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

Window WaitForTopLevel(Display* d, const char* cls, const char* name, milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    do {
        if (const Window w = FindTopLevel(d, cls, name))
            return w;
        std::this_thread::sleep_for(milliseconds(10));
    } while (Clock::now() < deadline);
    return 0;
}

bool HasNetWmState(Display* d, Window w, const char* state)
{
    const Atom property = XInternAtom(d, "_NET_WM_STATE", False);
    const Atom wanted = XInternAtom(d, state, False);
    Atom type;
    int format;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(d, w, property, 0, 64, False, XA_ATOM, &type, &format, &count, &after, &data) ==
            Success &&
        data && format == 32) {
        const auto* atoms = reinterpret_cast<const Atom*>(data);
        for (unsigned long i = 0; i < count; ++i)
            found = found || atoms[i] == wanted;
    }
    if (data)
        XFree(data);
    return found;
}

bool CursorIsHidden(Display* d)
{
    XFixesCursorImage* cursor = XFixesGetCursorImage(d);
    if (!cursor)
        return false;
    bool visible = false;
    for (size_t i = 0; i < size_t(cursor->width) * cursor->height; ++i)
        visible = visible || (cursor->pixels[i] >> 24) != 0;
    XFree(cursor);
    return !visible;
}

// ---- The fixture --------------------------------------------------------

void E2e::SetUp()
{
    char pattern[] = "/tmp/glyphfall-e2e-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr) << std::strerror(errno);
    TempDir = pattern;
}

void E2e::TearDown()
{
    KillProgram(&Prog);
    StopXServer(&Server);
    if (!TempDir.empty())
        std::filesystem::remove_all(TempDir);
}

void E2e::StartServer(int width, int height, const std::vector<std::string>& extra)
{
    std::string error;
    ASSERT_TRUE(StartXServer(&Server, width, height, extra, TempDir, &error)) << error;
}

void E2e::Launch(const std::vector<std::string>& args, const std::vector<std::string>& env)
{
    KillProgram(&Prog);
    std::vector<std::string> add = {"DISPLAY=" + Server.Name};
    add.insert(add.end(), env.begin(), env.end());
    std::string error;
    ASSERT_TRUE(SpawnProgram(&Prog, args, ProgramEnvironment(add), TempDir, &error)) << error;
}

bool E2e::WaitUntilAnimating(milliseconds timeout)
{
    if (!WaitForTopLevel(Server.Conn, "MyWKlass", nullptr, timeout)) {
        ADD_FAILURE() << "no MyWKlass window within " << timeout.count() << " ms; program "
                      << (StillRunning(&Prog) ? "still runs" : DescribeStatus(Prog.ExitStatus))
                      << ", stderr: " << ReadStderr(Prog);
        return false;
    }
    Screenshot shot;
    Clock::time_point seen;
    if (!WaitForScreen(
            Server.Conn, timeout, [](const Screenshot& s) { return ColouredPixels(s) > 0; }, &shot, &seen)) {
        ADD_FAILURE() << "no coloured frame within " << timeout.count() << " ms; program "
                      << (StillRunning(&Prog) ? "still runs" : DescribeStatus(Prog.ExitStatus))
                      << ", stderr: " << ReadStderr(Prog);
        return false;
    }
    return true;
}

bool E2e::WaitForPhase(Phase phase)
{
    if (phase == WhileAnimating)
        return WaitUntilAnimating();
    Screenshot shot;
    Clock::time_point seen;
    if (!WaitForScreen(Server.Conn, seconds(10), IsTwoTone, &shot, &seen)) {
        ADD_FAILURE() << "the letter never showed";
        return false;
    }
    return true;
}

double E2e::ExpectEnds(Clock::time_point since, milliseconds bound, const std::string& what)
{
    if (!WaitExit(&Prog, bound - duration_cast<milliseconds>(Clock::now() - since))) {
        ADD_FAILURE() << what << ": still running " << bound.count() << " ms later; killed";
        KillProgram(&Prog);
        return -1;
    }
    const double ms = MsBetween(since, Prog.ExitSeen);
    std::printf("[e2e] %s: %s after %.1f ms\n", what.c_str(), DescribeStatus(Prog.ExitStatus).c_str(), ms);
    std::fflush(stdout);
    return ms;
}
