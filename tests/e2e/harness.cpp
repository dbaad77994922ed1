// End-to-end harness: Xvfb, processes, XTest input and screenshots.
#include "tests/e2e/harness.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <utility>

#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

extern char** environ;

// Windows of other clients vanish while the harness looks at them; Xlib's
// default handler would end the test process over such an error.
static int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

bool StartXServer(XServer* server, int width, int height, const Strings& extra, const std::string& tempDir,
                  std::string* error)
{
    XSetErrorHandler(IgnoreXError);
    int fds[2] = {-1, -1};
    if (pipe2(fds, O_CLOEXEC) == 0)
        fcntl(fds[1], F_SETFD, 0);   // the write end goes to Xvfb
    Strings argv = {"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                    std::to_string(width) + "x" + std::to_string(height) + "x24", "-nolisten", "tcp"};
    argv.insert(argv.end(), extra.begin(), extra.end());
    Program xvfb;
    const bool spawned = SpawnProgram(&xvfb, argv, ProgramEnvironment({}), tempDir, error);
    close(fds[1]);
    // Once it accepts clients, Xvfb writes "N\n" (in two writes); EOF if it dies.
    server->Name = ":";
    char c = 0;
    pollfd p = {fds[0], POLLIN, 0};
    while (spawned && poll(&p, 1, 15000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
        server->Name += c;
    close(fds[0]);
    if (c == '\n' && (server->Conn = XOpenDisplay(server->Name.c_str()))) {
        server->Pid = xvfb.Pid;
        server->Width = DisplayWidth(server->Conn, DefaultScreen(server->Conn));
        server->Height = DisplayHeight(server->Conn, DefaultScreen(server->Conn));
        return true;
    }
    KillProgram(&xvfb);
    *error += "Xvfb did not come up: " + ReadStderr(xvfb);
    return false;
}

void StopXServer(XServer* server, int signal)
{
    // Our connection first: a connection whose server is gone ends the process.
    if (server->Conn)
        XCloseDisplay(server->Conn);
    server->Conn = nullptr;
    Program xvfb;
    xvfb.Pid = std::exchange(server->Pid, -1);
    if (xvfb.Pid <= 0)
        return;
    kill(xvfb.Pid, signal);
    // A lock and socket left by a killed server are reclaimed by the next Xvfb.
    if (!WaitExit(&xvfb, Ms(3000)))
        KillProgram(&xvfb);
}

Strings ProgramEnvironment(const Strings& add)
{
    auto name = [](const std::string& entry) { return entry.substr(0, entry.find('=')); };
    Strings env;
    for (char** e = environ; *e; ++e) {
        bool drop = name(*e) == "DISPLAY" || name(*e) == "WAYLAND_DISPLAY" || name(*e) == "SDL_VIDEODRIVER";
        for (const std::string& a : add)
            drop = drop || name(a) == name(*e);
        if (!drop)
            env.push_back(*e);
    }
    env.insert(env.end(), add.begin(), add.end());
    return env;
}

bool SpawnProgram(Program* program, const Strings& argv, const Strings& env, const std::string& tempDir,
                  std::string* error)
{
    static int runs = 0;
    *program = Program{};
    program->StderrPath = tempDir + "/output-" + std::to_string(++runs) + ".txt";
    Strings strings[2] = {argv, env};
    std::vector<char*> pointers[2];
    for (int i = 0; i < 2; ++i) {
        for (std::string& s : strings[i])
            pointers[i].push_back(s.data());
        pointers[i].push_back(nullptr);
    }
    const int out = open(program->StderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const pid_t parent = getpid();
    program->Started = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        // Its own group, so that what it forks is killed with it; and it dies
        // with the test process, so that a crash leaves nothing behind.
        setpgid(0, 0);
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() == parent && dup2(null, 0) == 0 && dup2(out, 1) == 1 && dup2(out, 2) == 2)
            execve(pointers[0][0], pointers[0].data(), pointers[1].data());
        _exit(127);
    }
    close(out);
    close(null);
    if (pid < 0)
        *error = std::string("fork: ") + std::strerror(errno);
    setpgid(pid, pid);   // here too, so that the group exists before any kill
    program->Pid = pid;
    return pid > 0;
}

bool WaitExit(Program* program, Ms timeout)
{
    const auto deadline = Clock::now() + timeout;
    while (!program->Exited && program->Pid > 0) {
        if (waitpid(program->Pid, &program->ExitStatus, WNOHANG) == program->Pid) {
            program->ExitSeen = Clock::now();
            program->Exited = true;
            kill(-std::exchange(program->Pid, -1), SIGKILL);
        } else if (Clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return program->Exited;
}

void KillProgram(Program* program)
{
    if (program->Pid <= 0)
        return;
    kill(-program->Pid, SIGKILL);
    kill(program->Pid, SIGKILL);
    while (waitpid(program->Pid, &program->ExitStatus, 0) < 0 && errno == EINTR) {
    }
    program->Pid = -1;
}

std::string ReadStderr(const Program& program)
{
    std::stringstream text;
    text << std::ifstream(program.StderrPath).rdbuf();
    return text.str();
}

std::string DescribeStatus(int status)
{
    return WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                               : "exit " + std::to_string(WEXITSTATUS(status));
}

void TapKey(Display* d, unsigned long keysym, unsigned long held)
{
    const KeyCode key = XKeysymToKeycode(d, keysym), hold = held ? XKeysymToKeycode(d, held) : 0;
    EXPECT_TRUE(key && (hold || !held)) << "the keymap lacks keysym 0x" << std::hex << keysym << " or 0x" << held;
    if (hold)
        XTestFakeKeyEvent(d, hold, True, CurrentTime);
    XTestFakeKeyEvent(d, key, True, CurrentTime);
    XTestFakeKeyEvent(d, key, False, CurrentTime);
    if (hold)
        XTestFakeKeyEvent(d, hold, False, CurrentTime);
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

bool TakeScreenshot(Display* d, Screenshot* shot)
{
    shot->Width = DisplayWidth(d, DefaultScreen(d));
    shot->Height = DisplayHeight(d, DefaultScreen(d));
    XImage* image = XGetImage(d, DefaultRootWindow(d), 0, 0, unsigned(shot->Width), unsigned(shot->Height),
                              AllPlanes, ZPixmap);
    // What a -screen WxHx24 Xvfb gives: 24 bits in 32-bit little-endian pixels.
    const bool usable = image && image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 &&
                        image->blue_mask == 0xFF && image->byte_order == LSBFirst;
    shot->Pixels.assign(size_t(shot->Width) * size_t(shot->Height), 0);
    for (int y = 0; usable && y < shot->Height; ++y)
        for (int x = 0; x < shot->Width; ++x)
            shot->Pixels[size_t(y) * size_t(shot->Width) + size_t(x)] =
                reinterpret_cast<const uint32_t*>(image->data + ptrdiff_t(y) * image->bytes_per_line)[x] & 0xFFFFFF;
    if (image)
        XDestroyImage(image);
    return usable;
}

bool WaitForScreen(Display* d, Ms timeout, const std::function<bool(const Screenshot&)>& accept, Screenshot* shot)
{
    const auto deadline = Clock::now() + timeout;
    while (!(TakeScreenshot(d, shot) && accept(*shot)))
        if (Clock::now() >= deadline)
            return false;
        else
            std::this_thread::sleep_for(Ms(20));
    return true;
}

bool IsTwoTone(const Screenshot& shot)
{
    size_t black = 0, white = 0;
    for (uint32_t p : shot.Pixels)
        black += p == 0, white += p == 0xFFFFFF;
    return black && white && black + white == shot.Pixels.size();
}

bool HasColour(const Screenshot& shot)
{
    for (uint32_t p : shot.Pixels)
        if ((p >> 16) != ((p >> 8) & 0xFF) || (p >> 16) != (p & 0xFF))
            return true;
    return false;
}

Window WaitForWindow(Display* d, const char* title, Ms timeout)
{
    const auto deadline = Clock::now() + timeout;
    Window found = 0;
    while (!found && Clock::now() < deadline) {
        std::this_thread::sleep_for(Ms(10));
        Window root, parent, *children = nullptr;
        unsigned count = 0;
        XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count);
        for (unsigned i = 0; i < count && !found; ++i) {
            // SDL titles are UTF-8, in _NET_WM_NAME only.
            XWindowAttributes a;
            XTextProperty name = {};
            if (XGetWindowAttributes(d, children[i], &a) && a.map_state == IsViewable &&
                XGetTextProperty(d, children[i], &name, XInternAtom(d, "_NET_WM_NAME", False)) &&
                std::string(reinterpret_cast<char*>(name.value), name.nitems) == title)
                found = children[i];
            XFree(name.value);
        }
        XFree(children);
    }
    return found;
}

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
    std::filesystem::remove_all(TempDir);
}

void E2e::StartServer(int width, int height, const Strings& extra)
{
    std::string error;
    ASSERT_TRUE(StartXServer(&Server, width, height, extra, TempDir, &error)) << error;
}

void E2e::Launch(const Strings& args, const Strings& env)
{
    KillProgram(&Prog);
    Strings argv = {GLYPHFALL_PROGRAM}, add;
    argv.insert(argv.end(), args.begin(), args.end());
    if (Server.Conn)
        add.push_back("DISPLAY=" + Server.Name);
    add.insert(add.end(), env.begin(), env.end());
    std::string error;
    ASSERT_TRUE(SpawnProgram(&Prog, argv, ProgramEnvironment(add), TempDir, &error)) << error;
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

bool E2e::ExpectExit(Clock::time_point since, Ms bound, int code, const std::string& what)
{
    if (!WaitExit(&Prog, bound - std::chrono::duration_cast<Ms>(Clock::now() - since))) {
        ADD_FAILURE() << what << ": still running " << bound.count() << " ms later";
        return false;
    }
    std::printf("[e2e] %s: %s after %.0f ms\n", what.c_str(), DescribeStatus(Prog.ExitStatus).c_str(),
                std::chrono::duration<double, std::milli>(Prog.ExitSeen - since).count());
    const int status = Prog.ExitStatus;
    const bool right = code < 0 ? WIFSIGNALED(status) && WTERMSIG(status) == -code
                                : WIFEXITED(status) && WEXITSTATUS(status) == code;
    EXPECT_TRUE(right) << what << ": " << DescribeStatus(status) << "; output: " << ReadStderr(Prog);
    return right;
}
