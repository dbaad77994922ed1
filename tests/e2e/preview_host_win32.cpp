// A stand-in for the Screen Saver Settings dialog's little monitor (Windows,
// run under Wine): a window of the given size that starts "<scr> /p <its
// handle>", reports the size of the child the saver puts in it, lets it run
// for two seconds, destroys itself, and reports how the saver ended and when.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

static void Serve(DWORD ms)
{
    for (const DWORD start = GetTickCount(); GetTickCount() - start < ms; Sleep(10)) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
    }
}

int main(int argc, char** argv)
{
    WNDCLASSA host = {};
    host.lpfnWndProc = DefWindowProcA;
    host.lpszClassName = "PreviewHost";
    RegisterClassA(&host);
    HWND window = CreateWindowExA(0, "PreviewHost", "preview host", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 0, 0,
                                  argc == 4 ? std::atoi(argv[2]) : 1, argc == 4 ? std::atoi(argv[3]) : 1, nullptr,
                                  nullptr, nullptr, nullptr);
    std::string command = std::string("\"") + (argc == 4 ? argv[1] : "") + "\" /p " + std::to_string(uintptr_t(window));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION saver = {};
    if (argc != 4 || !window ||
        !CreateProcessA(argv[1], command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &saver))
        return 3;
    HWND child = nullptr;
    for (int i = 0; i < 1000 && !child; ++i, Serve(10))
        child = FindWindowExA(window, nullptr, nullptr, nullptr);
    RECT area = {};
    DWORD owner = 0;
    GetClientRect(child, &area);
    GetWindowThreadProcessId(child, &owner);
    std::printf("child %ldx%ld of the saver: %s\n", area.right, area.bottom, owner == saver.dwProcessId ? "yes" : "no");
    Serve(2000);
    DestroyWindow(window);
    const DWORD start = GetTickCount();
    DWORD code = 3;
    const bool ended = WaitForSingleObject(saver.hProcess, 5000) == WAIT_OBJECT_0;
    GetExitCodeProcess(saver.hProcess, &code);
    std::printf("saver %s with %lu after %lu ms\n", ended ? "ended" : "still runs", code, GetTickCount() - start);
    return ended ? int(code) : 3;
}
