// glyphfall.scr: glyphfall's scenes as a Windows screen saver. The core and
// the input rules are glyphfall's own (shell/window_proc.cpp); the pacing is
// the XScreenSaver hack's, a delay between animation steps, so that a
// scene's motion fills its minute.
//
// Several monitors: the core keeps one scene in program-wide state, so each
// monitor gets a process of its own. The process Windows starts covers the
// primary monitor and starts one more of itself per other monitor, told its
// monitor through the environment; all of them share one event that the
// first to end sets, and a job object ends the others should it be killed.
#include <chrono>
#include <cstdio>
#include <cwchar>
#include <string>
#include <thread>
#include <vector>

#include "animation/animation.h"
#include "common/random.h"
#include "common/state.h"
#include "platform/display.h"
#include "platform/process.h"
#include "platform/surface.h"
#include "glyphfall-scr/options.h"
#include "glyphfall-scr/settings.h"
#include "scene/scene.h"
#include "shell/shell.h"

enum { ExitOk = 0, ExitFailure = 1, ExitBadArgument = 2 };

// Tells a started copy which monitor it covers: "left,top,right,bottom,index,event".
static const wchar_t* const MonitorVariable = L"GLYPHFALL_SCR_MONITOR";

std::atomic<bool> StopSignalled{false};
static std::atomic<uint64_t> StepCount{0};

static void OnStopRequest()
{
    RequestStop();
    StopSignalled.store(true);
}

static void Complain(const char* text)
{
    std::fprintf(stderr, "glyphfall.scr: %s\n", text);
    std::fflush(stderr);
}

// The saver in one window until its end; the program's exit code.
static int RunSaver(const SaverPlace& place, const SaverSettingsValues& settings, uint32_t monitorIndex)
{
    Running.store(true);
    PlatformCatchStopRequests(OnStopRequest);
    SetSaverPlace(place);
    std::string error;
    if (!PlatformOpenWindow(WindowClassName, &ScreenWidth, &ScreenHeight, &error)) {
        Complain(error.c_str());
        return ExitFailure;
    }
    WindowProc(PlatformEvent{EventCreate, ButtonOther, 0, 0});
    ScreenDpi = PlatformScreenDpi();
    // A preview too narrow for a raster of its own gets a common screen's
    // shape; the picture is still made to fill it.
    if (!CreateRaster(ScreenWidth, ScreenHeight, &error) && !CreateRaster(1920, 1080, &error)) {
        Complain(error.c_str());
        PlatformCloseWindow();
        return ExitFailure;
    }
    Randomize();
    // Copies started in the same millisecond still get scenes of their own.
    RandSeed += monitorIndex * 0x9E3779B9u;
    if (!SetRasterFont("Times New Roman", ScreenDpi, &error)) {
        Complain(error.c_str());
        ReleaseRaster();
        PlatformCloseWindow();
        return ExitFailure;
    }

    Animating.store(false);
    AnimationWorker = std::thread(PacedAnimationThread, settings.Delay, &StepCount);
    auto lastCount = std::chrono::steady_clock::now();
    uint64_t lastSteps = 0;
    PlatformEvent event;
    while (PlatformGetEvent(&event)) {
        if (StopSignalled.exchange(false))
            PlatformPostEvent(EventDestroy);
        WindowProc(event);
        const auto now = std::chrono::steady_clock::now();
        if (settings.ShowStepRate && now - lastCount >= std::chrono::seconds(1)) {
            const uint64_t steps = StepCount.load();
            char text[64];
            std::snprintf(text, sizeof text, "%.1f steps/s",
                          double(steps - lastSteps) / std::chrono::duration<double>(now - lastCount).count());
            SetSaverOverlay(text);
            lastSteps = steps;
            lastCount = now;
        }
    }
    RequestStop();
    if (AnimationWorker.joinable())
        AnimationWorker.join();
    BlockList.clear();
    ReleaseRaster();
    PlatformCloseFont();
    PlatformCloseWindow();
    return ExitOk;
}

struct MonitorFound {
    RECT Area;
    bool Primary;
};

static BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list)
{
    MONITORINFO info = {};
    info.cbSize = sizeof info;
    if (GetMonitorInfoW(monitor, &info))
        reinterpret_cast<std::vector<MonitorFound>*>(list)->push_back(
            {info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    return TRUE;
}

struct Copies {
    HANDLE Job = nullptr;
    std::vector<HANDLE> Processes;
};

// Starts one copy of this program per monitor but the primary, each sharing
// the inheritable end event.
static void StartCopies(const std::vector<MonitorFound>& monitors, HANDLE endEvent, Copies* copies)
{
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return;
    // Killing the first process then ends every copy with it.
    copies->Job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (copies->Job)
        SetInformationJobObject(copies->Job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
    uint32_t index = 0;
    for (const MonitorFound& m : monitors) {
        if (m.Primary)
            continue;
        wchar_t where[128];
        std::swprintf(where, 128, L"%ld,%ld,%ld,%ld,%u,%llu", m.Area.left, m.Area.top, m.Area.right,
                      m.Area.bottom, ++index, static_cast<unsigned long long>(uintptr_t(endEvent)));
        SetEnvironmentVariableW(MonitorVariable, where);
        std::wstring command = L"\"" + std::wstring(path) + L"\" /s";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(path, command.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED, nullptr, nullptr,
                           &startup, &process)) {
            if (copies->Job)
                AssignProcessToJobObject(copies->Job, process.hProcess);
            ResumeThread(process.hThread);
            CloseHandle(process.hThread);
            copies->Processes.push_back(process.hProcess);
        }
    }
    SetEnvironmentVariableW(MonitorVariable, nullptr);
}

// The copies end on the shared event; one that hangs is ended with the job.
static void EndCopies(HANDLE endEvent, Copies* copies)
{
    if (endEvent)
        SetEvent(endEvent);
    if (!copies->Processes.empty() &&
        WaitForMultipleObjects(DWORD(copies->Processes.size()), copies->Processes.data(), TRUE, 5000) !=
            WAIT_OBJECT_0 &&
        copies->Job)
        TerminateJobObject(copies->Job, ExitOk);
    for (HANDLE process : copies->Processes)
        CloseHandle(process);
    if (copies->Job)
        CloseHandle(copies->Job);
}

static int Show(const SaverSettingsValues& settings)
{
    SaverPlace place;
    // A copy started by the first process: its monitor and the shared event.
    wchar_t told[128];
    const DWORD toldLength = GetEnvironmentVariableW(MonitorVariable, told, 128);
    if (toldLength > 0 && toldLength < 128) {
        unsigned index = 0;
        unsigned long long event = 0;
        if (std::swscanf(told, L"%ld,%ld,%ld,%ld,%u,%llu", &place.Monitor.left, &place.Monitor.top,
                         &place.Monitor.right, &place.Monitor.bottom, &index, &event) == 6) {
            place.EndEvent = reinterpret_cast<HANDLE>(uintptr_t(event));
            return RunSaver(place, settings, index);
        }
    }
    std::vector<MonitorFound> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    place.Monitor = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    for (const MonitorFound& m : monitors)
        if (m.Primary)
            place.Monitor = m.Area;
    Copies copies;
    if (monitors.size() > 1) {
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
        place.EndEvent = CreateEventW(&inherited, TRUE, FALSE, nullptr);
        if (place.EndEvent)
            StartCopies(monitors, place.EndEvent, &copies);
    }
    const int code = RunSaver(place, settings, 0);
    EndCopies(place.EndEvent, &copies);
    if (place.EndEvent)
        CloseHandle(place.EndEvent);
    return code;
}

int main(int argc, char** argv)
{
    SaverArgs args;
    std::string error;
    if (!ParseSaverArgs(argc, argv, &args, &error)) {
        Complain(error.c_str());
        const std::string text = "glyphfall.scr: " + error + ".\n\n" + SaverUsage;
        MessageBoxW(nullptr, Wide(text.c_str()).c_str(), L"glyphfall", MB_ICONERROR | MB_OK);
        return ExitBadArgument;
    }
    // Pixels are pixels on every monitor: a scaled screen would blur the picture.
    if (args.Mode != SaverSettings)
        SetProcessDPIAware();
    switch (args.Mode) {
    case SaverSettings:
        RunSettingsDialog(reinterpret_cast<HWND>(uintptr_t(args.Window)));
        return ExitOk;
    case SaverPreview: {
        SaverPlace place;
        place.PreviewParent = reinterpret_cast<HWND>(uintptr_t(args.Window));
        if (!IsWindow(place.PreviewParent)) {
            Complain("the preview window is not there");
            return ExitFailure;
        }
        return RunSaver(place, ReadSaverSettings(), 0);
    }
    case SaverShow:
    default:
        return Show(ReadSaverSettings());
    }
}
