// glyphfall.scr's settings: saved in the registry, changed in its dialog.
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
