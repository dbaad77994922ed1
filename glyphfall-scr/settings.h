// The screen saver's Windows parts, beside the shared window procedure:
// its saved settings, its settings dialog, and where its window goes.
#pragma once
#include "platform/win32/win32.h"

#include <cstdint>
#include <string>

struct SaverSettingsValues {
    uint32_t Delay;          // microseconds between animation steps
    bool ShowStepRate;       // the steps-per-second line over the picture
};

// HKCU\Software\glyphfall; a missing or mistyped value reads as its default,
// an out-of-range one clamped.
SaverSettingsValues ReadSaverSettings();
bool WriteSaverSettings(const SaverSettingsValues& values);

// The modal settings dialog, owned by owner (may be null). OK saves.
void RunSettingsDialog(HWND owner);

// Where the saver's window goes: a full-screen pop-up over one monitor's
// rectangle, or a child filling a preview window. Set before the window
// is opened.
struct SaverPlace {
    RECT Monitor = {};       // screen coordinates of the monitor covered
    HWND PreviewParent = nullptr;
    HANDLE EndEvent = nullptr;   // set by whichever monitor's saver ends first; waited on by all
};
void SetSaverPlace(const SaverPlace& place);

// The steps-per-second line drawn over the picture ("" for none). Any thread.
void SetSaverOverlay(const std::string& text);
