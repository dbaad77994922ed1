// Sets the primary monitor's mode to <width> <height> (Windows, run under
// Wine), as the display settings do, even when it is that mode already:
// every top-level window is told of the change. Exit code 0 once applied.
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    DEVMODEW mode = {};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = argc == 3 ? DWORD(std::atoi(argv[1])) : 0;
    mode.dmPelsHeight = argc == 3 ? DWORD(std::atoi(argv[2])) : 0;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    return ChangeDisplaySettingsExW(nullptr, &mode, nullptr, CDS_RESET, nullptr) == DISP_CHANGE_SUCCESSFUL ? 0 : 1;
}
