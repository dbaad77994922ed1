// The screen-saver hack's window (platform/x11). It presents through
// display.h's PlatformPresent; this is how it gets and serves its window.
#pragma once
#include <cstdint>
#include <string>

// Where the hack draws.
enum HackWindowKind {
    HackWindowGiven,   // an existing window, by id (XScreenSaver's own window or a preview)
    HackWindowRoot,    // the (virtual) root window
    HackWindowOwn,     // a window of the hack's own, for trying it out
};

// Connects to the display and takes the window. Listens only for its size
// changes and its end: no input is selected and nothing is grabbed. Sets
// the window's size. Returns false with a sentence when the display or the
// window cannot be used.
bool PlatformOpenHackWindow(HackWindowKind kind, unsigned long id, int32_t* width, int32_t* height,
                            std::string* error);

// Serves the window for up to ms milliseconds on the main thread: shows the
// newest frame handed over by PlatformPresent (at most about 60 a second),
// keeps *width and *height up to date. Returns false once the window is gone
// (destroyed, or its own window closed).
bool PlatformServeHackWindow(int ms, int32_t* width, int32_t* height);

// A line of text shown over the picture's bottom-left corner ("" for none).
void PlatformSetHackOverlay(const std::string& text);

// Lets go of the window and the display. Safe when none is open.
void PlatformCloseHackWindow();
