// The desktop's logical DPI on X11, shared by the program's and the hack's
// backends.
#pragma once
#include <X11/Xlib.h>

// The Xft.dpi resource of the display, rounded to a whole number; 96 when the
// desktop sets none (or an absurd one) or display is null.
int XftDpi(Display* display);
