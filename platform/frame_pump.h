// The one frame pump of every backend with a window (SDL, X11, Win32): frames
// rendered on the animation thread are handed to the main thread through the
// one-frame slot with a single coalesced wake-up, and shown at most once per
// display refresh while the main thread waits for its events. It supplies
// display.h's PlatformPresent and window.h's PlatformGetEvent; a backend
// supplies only the three Backend* functions below.
#pragma once
#include <cstdint>

#include "platform/window.h"

// --- What each backend defines ---

// Waits up to ms milliseconds for the backend's next event and translates it
// into *event (true); false when the time ran out or only the pump's wake-up
// came (the backend calls PumpWoken for it). A quit is returned as EventQuit.
// Main thread.
bool BackendWaitEvent(int ms, PlatformEvent* event);

// Makes the main thread's wait return soon with PumpWoken. Any thread; false
// when the wake-up could not be sent.
bool BackendWake();

// Puts width x height raster rows on the window, enlarged; false when nothing
// was shown. Main thread.
bool BackendShowRows(const uint8_t* const* rows, int32_t width, int32_t height);

// --- What the pump gives the backend ---

// The window is open: frames are taken from now on, shown at most refreshHz
// times a second (0 when the display does not say: 60). Main thread.
void PumpStart(int refreshHz);

// The window is gone: presents are dropped from now on. Any thread.
void PumpStop();

// The wake-up has arrived: a frame waits in the slot. Main thread.
void PumpWoken();

// Shows the last frame shown again (the window was resized or exposed).
// Main thread.
void PumpShowAgain();
