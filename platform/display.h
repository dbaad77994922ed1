// What the portable core and the shells need from any display backend (the
// desktop window, the hack's window, Win32, headless): showing the raster,
// the sleeps the scene pauses are made of, and the DPI the letter is sized by.
#pragma once
#include <cstdint>

// Shows the raster, enlarged over the whole window. From the main thread the
// picture is drawn at once; from any other thread the frame is handed over to
// the main thread and the call returns without waiting for the display.
void PlatformPresent(uint8_t* const* rows, int32_t width, int32_t height);

// Sleeps about ms milliseconds: the slices the scene pauses are made of.
void PlatformSleep(int ms);

// The display's logical DPI for fonts, read once at start-up (96 when the
// desktop sets none).
int PlatformScreenDpi();
