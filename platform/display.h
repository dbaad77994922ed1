// What the portable core and the shell need from any display backend (SDL,
// the X11 windows of XScreenSaver, Win32, headless): showing the raster, the
// sleeps the scene pauses are made of, and the DPI the letter is sized by.
#pragma once
#include <cstdint>

// Shows the raster, enlarged over the whole window. From the main thread the
// picture is drawn at once; from any other thread the frame is handed over to
// the main thread and the call returns without waiting for the display.
void PlatformPresent(uint8_t* const* rows, int32_t width, int32_t height);

// Sleeps about that many microseconds: the slices pauses are made of.
void PlatformSleep(int64_t microseconds);

// The display's logical DPI for fonts, read once at start-up (96 when the
// desktop sets none).
int PlatformScreenDpi();
