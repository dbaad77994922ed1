// The screen saver's settings: two values under HKCU\Software\glyphfall,
// and the dialog that changes them.
#include "glyphfall-scr/settings.h"

#include <commctrl.h>

#include <algorithm>

#include "glyphfall-scr/options.h"
#include "glyphfall-scr/dialog_ids.h"

static const wchar_t* const SettingsKey = L"Software\\glyphfall";
static const wchar_t* const DelayValue = L"Delay";
static const wchar_t* const StepRateValue = L"ShowStepsPerSecond";

// A DWORD value, or nothing when it is missing or of another type.
static bool ReadDword(HKEY key, const wchar_t* name, DWORD* value)
{
    DWORD type = 0, size = sizeof *value;
    return RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof *value;
}

SaverSettingsValues ReadSaverSettings()
{
    SaverSettingsValues values{DefaultDelay, false};
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return values;
    DWORD v = 0;
    if (ReadDword(key, DelayValue, &v))
        values.Delay = ClampSavedDelay(v);
    if (ReadDword(key, StepRateValue, &v))
        values.ShowStepRate = v != 0;
    RegCloseKey(key);
    return values;
}

bool WriteSaverSettings(const SaverSettingsValues& values)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const DWORD delay = values.Delay, shown = values.ShowStepRate ? 1 : 0;
    const bool written =
        RegSetValueExW(key, DelayValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&delay), sizeof delay) ==
            ERROR_SUCCESS &&
        RegSetValueExW(key, StepRateValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&shown), sizeof shown) ==
            ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

// The slider runs from slow (left) to fast (right), as the hack's "frame
// rate" slider does: its position is the slider's range minus the delay.
static INT_PTR CALLBACK SettingsProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    HWND slider = GetDlgItem(dialog, IDC_SPEED);
    switch (message) {
    case WM_INITDIALOG: {
        const SaverSettingsValues values = ReadSaverSettings();
        const uint32_t shown = values.Delay > SaverSliderDelay ? SaverSliderDelay : values.Delay;
        SendMessageW(slider, TBM_SETRANGEMIN, FALSE, 0);
        SendMessageW(slider, TBM_SETRANGEMAX, FALSE, SaverSliderDelay);
        SendMessageW(slider, TBM_SETLINESIZE, 0, SaverSliderDelay / 100);
        SendMessageW(slider, TBM_SETPAGESIZE, 0, SaverSliderDelay / 10);
        SendMessageW(slider, TBM_SETTICFREQ, SaverSliderDelay / 10, 0);
        SendMessageW(slider, TBM_SETPOS, TRUE, LPARAM(SaverSliderDelay - shown));
        CheckDlgButton(dialog, IDC_SHOW_STEPS, values.ShowStepRate ? BST_CHECKED : BST_UNCHECKED);
        return TRUE;   // the focus goes to the slider, the first control
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            const auto position = uint32_t(SendMessageW(slider, TBM_GETPOS, 0, 0));
            const SaverSettingsValues values{SaverSliderDelay - std::min(position, SaverSliderDelay),
                                             IsDlgButtonChecked(dialog, IDC_SHOW_STEPS) == BST_CHECKED};
            if (!WriteSaverSettings(values))
                MessageBoxW(dialog, L"The settings could not be saved in the registry.", L"glyphfall",
                            MB_ICONWARNING | MB_OK);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        break;
    default:
        break;
    }
    return FALSE;
}

void RunSettingsDialog(HWND owner)
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SETTINGS), owner, SettingsProc, 0);
}
