// What the Wayland backend (platform/wayland/window_wayland.cpp) offers its
// program beyond window.h: the connection as its messages describe it, and
// whether the output it covered has gone.
#pragma once
#include <string>

struct wl_display;

// Connects to the compositor WAYLAND_DISPLAY names; null with a sentence in
// error when it is not set or cannot be reached.
wl_display* WaylandConnect(std::string* error);

// True once the output of PlaceOutput is known to have gone (removed,
// disabled, or not there at all), which ends the window as a close request
// does: the program can tell that ending from one by input.
bool WaylandOutputGone();
