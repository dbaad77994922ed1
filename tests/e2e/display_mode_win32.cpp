// Sets the primary monitor's mode again, as the display settings would
// (Windows, run under Wine): every top-level window is told of a display
// change. Exit code 0 once applied.
#include <windows.h>

int main()
{
    DEVMODEW mode = {};
    mode.dmSize = sizeof mode;
    const bool now = EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode);
    return now && ChangeDisplaySettingsExW(nullptr, &mode, nullptr, CDS_RESET, nullptr) == DISP_CHANGE_SUCCESSFUL ? 0 : 1;
}
