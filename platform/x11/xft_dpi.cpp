// Desktops set the logical DPI for fonts as the Xft.dpi resource; the X
// server's own figure is the physical one, which is not what users scale by.
#include "platform/x11/xft_dpi.h"

#include <X11/Xresource.h>

#include <cstdlib>

int XftDpi(Display* display)
{
    int dpi = 96;
    const char* resources = display ? XResourceManagerString(display) : nullptr;
    if (!resources)
        return dpi;
    XrmInitialize();
    XrmDatabase db = XrmGetStringDatabase(resources);
    char* type = nullptr;
    XrmValue value;
    if (db && XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) {
        const double v = std::atof(value.addr);
        if (v >= 1.0 && v <= 1200.0)
            dpi = int(v + 0.5);
    }
    if (db)
        XrmDestroyDatabase(db);
    return dpi;
}
