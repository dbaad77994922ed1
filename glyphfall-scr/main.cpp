// glyphfall.scr: glyphfall's scenes as a Windows screen saver. The core and
// the input rules are glyphfall's own (shell/window_proc.cpp); the pacing is
// the XScreenSaver hack's, a delay between animation steps, so that a
// scene's motion fills its minute.
//
// Several monitors: the core keeps one scene in program-wide state, so each
// monitor gets a process of its own. The process Windows starts covers the
// primary monitor and starts one more of itself per other monitor, told its
// monitor through the environment; all of them share one event that the
// first to end sets. A copy also ends with the first process: it waits on
// it, and a job object ends it should that be killed.
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

#include <tlhelp32.h>

// Tells a started copy which monitor it covers and where the shared events
// are: "left,top,right,bottom,index,parent id,end event,keyboard taken
// event", the events as the parent's handle values. A copy inherits no
// handle: it takes the events from its parent itself, and only from the
// process that really started it, running this same program, so a value
// left in a user's environment or set by hand cannot make it cover one
// rectangle or wait on another process's handles.
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

// Starts one copy of this program per monitor but the primary, each told
// where to find the events.
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
        wchar_t where[160];
        std::swprintf(where, 160, L"%ld,%ld,%ld,%ld,%u,%lu,%llu,%llu", m.Area.left, m.Area.top, m.Area.right,
                      m.Area.bottom, ++index, GetCurrentProcessId(),
                      static_cast<unsigned long long>(uintptr_t(endEvent)),
                      static_cast<unsigned long long>(uintptr_t(keyboardTaken)));
        SetEnvironmentVariableW(MonitorVariable, where);
        std::wstring command = L"\"" + std::wstring(path) + L"\" /s";
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (CreateProcessW(path, command.data(), nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr,
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

// The id of the process that started this one; 0 if unknown.
static DWORD ParentId()
{
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    DWORD parent = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == GetCurrentProcessId())
            parent = entry.th32ParentProcessID;
    CloseHandle(snapshot);
    return parent;
}

// The program file a process runs, as the system names it; "" if unknown.
static std::wstring ImageOf(HANDLE process)
{
    wchar_t path[MAX_PATH];
    DWORD size = MAX_PATH;
    return QueryFullProcessImageNameW(process, 0, path, &size) ? std::wstring(path, size) : std::wstring();
}

// What a copy is told: its monitor, and the events duplicated from its parent.
struct CopyOrders {
    RECT Area = {};
    unsigned Index = 0;
    HANDLE Parent = nullptr, EndEvent = nullptr, KeyboardTaken = nullptr;
};

// 1: this process is a copy, its orders read; 0: it is not (no variable, or
// one meant for another process); -1: the variable names this process's
// parent, but that does not run this program or keeps no such events.
static int ReadCopyOrders(CopyOrders* orders)
{
    wchar_t told[160];
    const DWORD toldLength = GetEnvironmentVariableW(MonitorVariable, told, 160);
    RECT& a = orders->Area;
    unsigned long parentId = 0;
    unsigned long long end = 0, taken = 0;
    if (toldLength == 0 || toldLength >= 160 ||
        std::swscanf(told, L"%ld,%ld,%ld,%ld,%u,%lu,%llu,%llu", &a.left, &a.top, &a.right, &a.bottom,
                     &orders->Index, &parentId, &end, &taken) != 8 ||
        parentId == 0 || parentId != ParentId())
        return 0;
    const HANDLE self = GetCurrentProcess();
    const auto take = [&](unsigned long long value, HANDLE* ours) {
        return DuplicateHandle(orders->Parent, reinterpret_cast<HANDLE>(uintptr_t(value)), self, ours, 0, FALSE,
                               DUPLICATE_SAME_ACCESS);
    };
    orders->Parent = OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE,
                                 parentId);
    const std::wstring image = ImageOf(self);
    return orders->Parent && !image.empty() && ImageOf(orders->Parent) == image && take(end, &orders->EndEvent) &&
                   take(taken, &orders->KeyboardTaken)
               ? 1
               : -1;
}

static int Show(const SaverSettingsValues& settings)
{
    CopyOrders orders;
    switch (ReadCopyOrders(&orders)) {
    case 1:
        ShareSaverEvents(orders.EndEvent, orders.KeyboardTaken, orders.Parent);
        return RunSaver(MonitorPlace(orders.Area), settings, orders.Index);
    case -1:
        Complain("GLYPHFALL_SCR_MONITOR names a parent process that is not this screen saver");
        return ExitFailure;
    default:
        break;
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
        endEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        keyboardTaken = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (endEvent && keyboardTaken)
            StartCopies(monitors, endEvent, keyboardTaken, &copies);
    }
    ShareSaverEvents(endEvent, keyboardTaken, nullptr);
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
    const HWND window = reinterpret_cast<HWND>(uintptr_t(args.Window));
    switch (args.Mode) {
    case SaverSettings:
        // An owner that is no window (gone, or mistyped) would keep the dialog from opening at all.
        RunSettingsDialog(IsWindow(window) ? window : nullptr);
        return ExitOk;
    case SaverPreview:
        if (!IsWindow(window)) {
            Complain("the preview window is not there");
            return ExitFailure;
        }
        return RunSaver(WindowPlace{PlacePreview, args.Window}, ReadSaverSettings(), 0);
    case SaverShow:
    default:
        return Show(ReadSaverSettings());
    }
}
