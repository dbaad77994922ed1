// glyphfall-saver's first process shows nothing itself. The core keeps one
// scene in program-wide state, so each output gets a process of its own:
// started as the desktop says (on Wayland this program again, with the same
// arguments; on X11 the XScreenSaver hack in the output's window), told its
// output through SceneVariable. This one watches the desktop: it starts a
// scene for every output there is or comes, lets a scene whose output went
// end alone, and ends them all when one ends by input, on SIGTERM or SIGINT,
// or with the desktop's connection. In the idle mode the scenes come on
// idleness and go on input, and it waits again. It alone speaks and sets the
// exit code: a failed scene's line reaches stderr through it.
//
// Nothing here knows the window system: desktop.h tells the outputs, the
// idleness and the input, and OpenDesktop alone chooses the window system.
#include "glyphfall-saver/scenes.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "glyphfall-saver/desktop.h"
#include "shell/command_line.h"

namespace {

struct Scene {
    pid_t Pid;
    uint32_t Output;
    int Pipe;            // the read end of its stdout and stderr; -1 after their end
    std::string Said;    // what it wrote there, up to a limit
};

}  // namespace

static struct {
    std::vector<Scene> Scenes;
    std::vector<uint32_t> Retired;   // outputs whose scene ended with them: not covered again while listed
    sigset_t Waiting;                // the mask while waiting: stop requests and ends of scenes let in
    const Desktop* Desk = nullptr;   // the window system's
} Saver;

static std::atomic<bool> StopAsked{false};   // SIGTERM or SIGINT came

static void Say(const std::string& line)
{
    std::fprintf(stderr, "glyphfall-saver: %s\n", line.c_str());
}

// Signals are blocked but while waiting, so that each one ends a wait
// rather than falling between a check and the wait.
static void CatchSignals()
{
    sigset_t caught;
    sigemptyset(&caught);
    for (int s : {SIGTERM, SIGINT, SIGCHLD})
        sigaddset(&caught, s);
    sigprocmask(SIG_BLOCK, &caught, &Saver.Waiting);
    struct sigaction action = {};
    action.sa_handler = [](int signal) {
        if (signal != SIGCHLD)
            StopAsked.store(true);
    };
    sigemptyset(&action.sa_mask);
    for (int s : {SIGTERM, SIGINT, SIGCHLD}) {
        sigaction(s, &action, nullptr);
        sigdelset(&Saver.Waiting, s);
    }
}

// Starts the scene's process for output; false with a sentence in error.
static bool StartScene(uint32_t output, const SaverArgs& args, char** argv, std::string* error)
{
    const pid_t parent = getpid();
    const std::string told = std::to_string(parent) + ":" + std::to_string(output);
    const std::vector<std::string> command = Saver.Desk->SceneCommand(output, args, argv);
    std::vector<char*> arguments;
    for (size_t i = 1; i < command.size(); ++i)
        arguments.push_back(const_cast<char*>(command[i].c_str()));
    arguments.push_back(nullptr);
    int fds[2];
    const pid_t pid = pipe2(fds, O_CLOEXEC) == 0 ? fork() : -1;
    if (pid == 0) {
        // The scene ends with this process, however that ends.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() == parent && dup2(fds[1], 1) == 1 && dup2(fds[1], 2) == 2 &&
            setenv(SceneVariable, told.c_str(), 1) == 0 && sigprocmask(SIG_SETMASK, &Saver.Waiting, nullptr) == 0)
            execv(command[0].c_str(), arguments.data());
        _exit(127);
    }
    if (pid < 0) {
        *error = std::string("cannot start a scene's process: ") + std::strerror(errno);
        return false;
    }
    close(fds[1]);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    Saver.Scenes.push_back(Scene{pid, output, fds[0], ""});
    return true;
}

static void ReadSaid(Scene* s)
{
    char buffer[1024];
    ssize_t n = -1;
    while (s->Pipe >= 0 && (n = read(s->Pipe, buffer, sizeof buffer)) > 0)
        if (s->Said.size() < 65536)
            s->Said.append(buffer, size_t(n));
    if (n == 0) {
        close(s->Pipe);
        s->Pipe = -1;
    }
}

// Reaps s if it has ended: true, with its wait status in *status.
static bool Reaped(Scene* s, int* status)
{
    if (waitpid(s->Pid, status, WNOHANG) != s->Pid)
        return false;
    ReadSaid(s);
    if (s->Pipe >= 0)
        close(s->Pipe);
    return true;
}

// Ends every scene: SIGTERM, which each obeys at once, and SIGKILL for any
// still there seconds later. What they say while ending goes unsaid.
static void EndScenes()
{
    for (const Scene& s : Saver.Scenes)
        kill(s.Pid, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (bool killed = false; !Saver.Scenes.empty(); std::this_thread::sleep_for(std::chrono::milliseconds(2))) {
        if (!killed && std::chrono::steady_clock::now() >= deadline) {
            killed = true;
            for (const Scene& s : Saver.Scenes)
                kill(s.Pid, SIGKILL);
        }
        int status;
        std::erase_if(Saver.Scenes, [&](Scene& s) { return Reaped(&s, &status); });
    }
}

// The ended scenes' verdict: ExitFailure once one failed (its line said),
// else ExitOk once one ended by input or a stop request, else -1. A scene
// whose output went ends alone and retires the output.
static int JudgeEnded()
{
    int verdict = -1;
    for (auto s = Saver.Scenes.begin(); s != Saver.Scenes.end();) {
        int status = 0;
        if (!Reaped(&*s, &status)) {
            ++s;
            continue;
        }
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (code == ExitOutputGone) {
            Saver.Retired.push_back(s->Output);
        } else if (code == ExitOk) {
            verdict = std::max(verdict, int(ExitOk));
        } else if (verdict != ExitFailure) {
            verdict = ExitFailure;
            if (s->Said.empty())
                Say("a scene's process ended " + (code < 0 ? "by signal " + std::to_string(WTERMSIG(status))
                                                           : "with exit code " + std::to_string(code)));
            else
                std::fprintf(stderr, "%s%s", s->Said.c_str(), s->Said.back() == '\n' ? "" : "\n");
        }
        s = Saver.Scenes.erase(s);
    }
    return verdict;
}

static bool Listed(const std::vector<uint32_t>& list, uint32_t output)
{
    return std::find(list.begin(), list.end(), output) != list.end();
}

// A scene for every output listed that has none and is not retired.
static bool CoverOutputs(const SaverArgs& args, char** argv, std::string* error)
{
    const std::vector<uint32_t>& outputs = Saver.Desk->Outputs();
    std::erase_if(Saver.Retired, [&](uint32_t o) { return !Listed(outputs, o); });
    for (uint32_t output : outputs)
        if (!Listed(Saver.Retired, output) &&
            std::none_of(Saver.Scenes.begin(), Saver.Scenes.end(), [&](const Scene& s) { return s.Output == output; }) &&
            !StartScene(output, args, argv, error))
            return false;
    return true;
}

// Hides the saver in the idle mode: every scene ended, every output coverable again.
static void Hide(bool* showing)
{
    *showing = false;
    EndScenes();
    Saver.Retired.clear();
}

static bool Set(const char* name)
{
    const char* value = std::getenv(name);
    return value && *value;
}

// The one choice of window system: Wayland where a compositor with
// layer-shell answers, else X11 where DISPLAY is set (XWayland on a
// compositor without layer-shell, GNOME's). Null after its line, with the
// exit code in *code.
static const Desktop* OpenDesktop(const SaverArgs& args, int* code)
{
    const bool wayland = Set("WAYLAND_DISPLAY") || Set("WAYLAND_SOCKET");
    std::string error;
    if (wayland && WaylandDesktop.Open(args.IdleSeconds, &error))
        return &WaylandDesktop;
    const std::string before = wayland ? error + "; and on X11, " : "";
    if (!Set("DISPLAY"))
        Say(wayland ? error
                    : "neither WAYLAND_DISPLAY nor DISPLAY is set: glyphfall-saver covers the outputs of a Wayland "
                      "compositor or the monitors of an X server");
    else if (args.IdleSeconds)
        Say(before + "--idle is refused: XScreenSaver owns idleness there (glyphfall-xscreensaver --install)");
    else if (X11Desktop.Open(0, &error))
        return &X11Desktop;
    else
        Say(before + error);
    *code = Set("DISPLAY") && args.IdleSeconds ? ExitBadArgument : ExitFailure;
    return nullptr;
}

int RunSaver(const SaverArgs& args, char** argv)
{
    int code = -1;
    if (!(Saver.Desk = OpenDesktop(args, &code)))
        return code;
    CatchSignals();
    const bool idleMode = args.IdleSeconds > 0;
    bool showing = !idleMode;
    std::string error;
    while (code < 0 && !StopAsked.load()) {
        // News first: those read with the desktop's start come before any wait.
        for (bool idle; code < 0 && Saver.Desk->TakeNews(&idle);)
            if (idle)
                showing = true;
            else if (idleMode)
                Hide(&showing);
            else
                code = ExitOk;
        if (code >= 0)
            break;
        if (showing && !CoverOutputs(args, argv, &error)) {
            Say(error);
            code = ExitFailure;
            break;
        }
        std::vector<pollfd> fds(1);
        fds[0].fd = Saver.Desk->Prepare(&fds[0].events);
        for (const Scene& s : Saver.Scenes)
            fds.push_back(pollfd{s.Pipe, POLLIN, 0});
        if (fds[0].fd < 0 ||
            (ppoll(fds.data(), fds.size(), nullptr, &Saver.Waiting), !Saver.Desk->Finish(fds[0].revents))) {
            Say(std::string("lost the connection to the ") + Saver.Desk->Name);
            code = ExitFailure;
            break;
        }
        for (Scene& s : Saver.Scenes)
            ReadSaid(&s);
        const int ended = JudgeEnded();
        if (ended == ExitOk && idleMode)
            Hide(&showing);
        else
            code = ended;
    }
    EndScenes();
    Saver.Desk->Close();
    return code < 0 ? ExitOk : code;
}
