// What starts or disturbs a screen saver on Windows, for the tests under Wine.
// "preview SCR W H": the Screen Saver Settings dialog's little monitor, a window of that size that starts
// "SCR /p <its handle>", reports the size of the child the saver puts in it, lets it run for two seconds,
// destroys itself, and reports how the saver ended and when.
// "display-mode": the display settings setting the primary monitor's mode again, which tells every
// top-level window of a display change; exit code 0 once applied.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

static void Serve(DWORD ms)   // the saver's child sends its parent messages
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10))
        for (MSG message; PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE);)
            DispatchMessageA(&message);
}

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "display-mode") {
        DEVMODEW mode = {};
        mode.dmSize = sizeof mode;
        const bool now = EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode);
        return !now || ChangeDisplaySettingsExW(nullptr, &mode, nullptr, CDS_RESET, nullptr) != DISP_CHANGE_SUCCESSFUL;
    }
    if (argc != 5 || std::string(argv[1]) != "preview")
        return 3;
    HWND window = CreateWindowExA(0, "STATIC", "preview host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                  std::atoi(argv[3]), std::atoi(argv[4]), nullptr, nullptr, nullptr, nullptr);
    std::string command = std::string("\"") + argv[2] + "\" /p " + std::to_string(uintptr_t(window));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION saver = {};
    if (!window || !CreateProcessA(argv[2], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                   &saver))
        return 3;
    HWND child = nullptr;
    for (int i = 0; i < 1000 && !child; ++i, Serve(10))
        child = FindWindowExA(window, nullptr, nullptr, nullptr);
    RECT area = {};
    DWORD owner = 0, code = 3;
    GetClientRect(child, &area);
    GetWindowThreadProcessId(child, &owner);
    std::printf("child %ldx%ld of the saver: %s\n", area.right, area.bottom, owner == saver.dwProcessId ? "yes" : "no");
    Serve(2000);
    DestroyWindow(window);
    const DWORD start = GetTickCount();
    const bool ended = WaitForSingleObject(saver.hProcess, 5000) == WAIT_OBJECT_0;
    GetExitCodeProcess(saver.hProcess, &code);
    std::printf("saver %s with %lu after %lu ms\n", ended ? "ended" : "still runs", code, GetTickCount() - start);
    return ended ? int(code) : 3;
}
