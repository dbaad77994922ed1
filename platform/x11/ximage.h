// Pictures put on an X window in the window's own visual, shared by SDL's
// path for visuals it cannot serve and by XScreenSaver's windows: the raster
// enlarged exactly into a window-sized image, through MIT-SHM where the
// server takes our memory, else put into a pixmap and copied to the window
// at once, so that a picture never shows torn.
#pragma once
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstdint>
#include <string>

#include "platform/scaler.h"

struct XPicture {
    Display* Conn = nullptr;
    Window Target = 0;                 // the window drawn in
    Visual* Vis = nullptr;             // its visual and depth
    int Depth = 0;
    GC Gc = nullptr;                   // for the image and the overlay text
    int32_t Width = 0, Height = 0;     // the image's size: the window's
    XImage* Image = nullptr;           // null until sized, or when memory was refused
    Pixmap Back = 0;                   // without shared memory: the picture, copied whole
    XShmSegmentInfo Shm = {};          // its shared memory when Shm.shmaddr is set
    bool ShmUsable = false;            // the server has MIT-SHM and has not refused our memory
    ScaleTables Tables;                // raster to window, nearest neighbour
};

// Readies pictures for window, whose visual and depth the attributes give.
void XPictureOpen(XPicture* picture, Display* conn, Window window, const XWindowAttributes& attributes);

// Makes the image for a width x height window. False when there is none
// (memory refused, or pixels of other than 16 or 32 bits).
bool XPictureResize(XPicture* picture, int32_t width, int32_t height);

// Puts rows of width x height raster pixels on the window, enlarged, with
// overlay ("" for none) over its bottom-left corner; waits until the server
// has taken it. False when nothing was shown.
bool XPictureShow(XPicture* picture, const uint8_t* const* rows, int32_t width, int32_t height,
                  const std::string& overlay);

// Frees the image, its memory and the GC. Safe to repeat.
void XPictureClose(XPicture* picture);
