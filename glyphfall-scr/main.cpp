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
// The copies open their windows once the first process's window holds the
// keyboard, and never take it (platform/win32/saver_window_win32.cpp).
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "glyphfall-scr/options.h"
#include "glyphfall-scr/settings.h"
#include "platform/win32/win32.h"
#include "shell/command_line.h"
#include "shell/shell.h"

// Tells a started copy which monitor it covers and the shared events:
// "left,top,right,bottom,index,end event,keyboard taken event".
static const wchar_t* const MonitorVariable = L"GLYPHFALL_SCR_MONITOR";

static void Complain(const char* text)
{
    std::fprintf(stderr, "glyphfall.scr: %s\n", text);
    std::fflush(stderr);
}

// The saver in one window until its end; the program's exit code.
static int RunSaver(const WindowPlace& place, const SaverSettingsValues& settings, uint32_t monitorIndex)
{
    Program saver = ScreenSaver("glyphfall.scr", settings.Delay, settings.ShowStepRate);
    saver.Place = place;
    // Copies started in the same millisecond still get scenes of their own.
    saver.SeedOffset = monitorIndex * 0x9E3779B9u;
    return StartUp(saver);
}

// A monitor's rectangle as the place of a full-screen pop-up.
static WindowPlace MonitorPlace(const RECT& area)
{
    WindowPlace place{PlaceMonitor};
    place.Left = area.left;
    place.Top = area.top;
    place.Right = area.right;
    place.Bottom = area.bottom;
    return place;
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
// the inheritable events.
static void StartCopies(const std::vector<MonitorFound>& monitors, HANDLE endEvent, HANDLE keyboardTaken,
                        Copies* copies)
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
        std::swprintf(where, 128, L"%ld,%ld,%ld,%ld,%u,%llu,%llu", m.Area.left, m.Area.top, m.Area.right,
                      m.Area.bottom, ++index, static_cast<unsigned long long>(uintptr_t(endEvent)),
                      static_cast<unsigned long long>(uintptr_t(keyboardTaken)));
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
    // A copy started by the first process: its monitor and the shared event.
    wchar_t told[128];
    const DWORD toldLength = GetEnvironmentVariableW(MonitorVariable, told, 128);
    if (toldLength > 0 && toldLength < 128) {
        RECT area = {};
        unsigned index = 0;
        unsigned long long end = 0, taken = 0;
        if (std::swscanf(told, L"%ld,%ld,%ld,%ld,%u,%llu,%llu", &area.left, &area.top, &area.right, &area.bottom,
                         &index, &end, &taken) == 7) {
            ShareSaverEvents(reinterpret_cast<HANDLE>(uintptr_t(end)), reinterpret_cast<HANDLE>(uintptr_t(taken)),
                             true);
            return RunSaver(MonitorPlace(area), settings, index);
        }
    }
    std::vector<MonitorFound> monitors;
    EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
    RECT primary = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    for (const MonitorFound& m : monitors)
        if (m.Primary)
            primary = m.Area;
    Copies copies;
    HANDLE endEvent = nullptr, keyboardTaken = nullptr;
    if (monitors.size() > 1) {
        SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
        endEvent = CreateEventW(&inherited, TRUE, FALSE, nullptr);
        keyboardTaken = CreateEventW(&inherited, TRUE, FALSE, nullptr);
        if (endEvent && keyboardTaken)
            StartCopies(monitors, endEvent, keyboardTaken, &copies);
    }
    ShareSaverEvents(endEvent, keyboardTaken, false);
    const int code = RunSaver(MonitorPlace(primary), settings, 0);
    EndCopies(endEvent, &copies);
    for (HANDLE event : {endEvent, keyboardTaken})
        if (event)
            CloseHandle(event);
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
    case SaverPreview:
        if (!IsWindow(reinterpret_cast<HWND>(uintptr_t(args.Window)))) {
            Complain("the preview window is not there");
            return ExitFailure;
        }
        return RunSaver(WindowPlace{PlacePreview, args.Window}, ReadSaverSettings(), 0);
    case SaverShow:
    default:
        return Show(ReadSaverSettings());
    }
}
