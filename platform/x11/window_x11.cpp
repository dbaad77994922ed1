// The X11 windows of XScreenSaver's hacks, in plain Xlib: a window that
// usually belongs to someone else (XScreenSaver's, or the root), or one of
// our own for trying it out. SDL would adopt such a window only half-way (no
// size or destroy events), so this backend talks to X itself: it selects
// StructureNotify and Exposure and nothing else, reads no input and never
// grabs; XScreenSaver owns the keyboard and the mouse.
//
// Threads: Xlib is used on the main thread only. Frames from the animation
// thread come through the frame pump; its wake-up is a pipe polled beside
// the X connection.
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "platform/display.h"
#include "platform/frame_pump.h"
#include "platform/posix/window_posix.h"
#include "platform/process.h"
#include "platform/window.h"
#include "platform/x11/xft_dpi.h"
#include "platform/x11/ximage.h"

static struct {
    Display* Conn = nullptr;           // our own connection
    Window Target = 0;                 // the window drawn in
    bool Own = false;                  // the window is ours: destroy it at the end
    Atom DeleteWindow = 0;             // WM_DELETE_WINDOW, for our own window
    bool Gone = false;                 // destroyed, closed, or an X error named it
    bool GoneTold = false;             // its EventClose has been queued
    XPicture Picture;                  // the window-sized picture
    std::string Overlay;               // the steps-per-second line, or ""
} X;

static int OnXError(Display*, XErrorEvent* e)
{
    // Asynchronous errors: a window destroyed under us shows up as BadWindow
    // or BadDrawable on its id. Anything else is ignored.
    if ((e->error_code == BadWindow || e->error_code == BadDrawable) && e->resourceid == X.Target)
        X.Gone = true;
    return 0;
}

static int OnXIOError(Display*)
{
    // The server has gone (with the screen saver's session, say); Xlib would
    // exit() after this handler anyway.
    PlatformExitLostDisplay("X server");
}

// The virtual root that some desktops put over the real one (__SWM_VROOT on
// one of its children), as XScreenSaver finds it; else the root. Any client
// may set the property, in any format: only one 32-bit item is a window.
static Window VirtualRoot(Display* d)
{
    const Window root = DefaultRootWindow(d);
    const Atom vroot = XInternAtom(d, "__SWM_VROOT", False);
    Window rootReturn, parent, *children = nullptr;
    unsigned count = 0;
    Window found = root;
    if (XQueryTree(d, root, &rootReturn, &parent, &children, &count)) {
        for (unsigned i = 0; i < count && found == root; ++i) {
            Atom type;
            int format;
            unsigned long items, after;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(d, children[i], vroot, 0, 1, False, XA_WINDOW, &type, &format, &items, &after,
                                   &data) == Success &&
                type == XA_WINDOW && format == 32 && items == 1 && data)
                found = *reinterpret_cast<Window*>(data);
            if (data)
                XFree(data);
        }
        if (children)
            XFree(children);
    }
    return found;
}

// Own window: half the screen, big enough to see, small enough to leave the
// desktop usable.
static Window OpenOwnWindow()
{
    const int screen = DefaultScreen(X.Conn);
    const int w = std::max(DisplayWidth(X.Conn, screen) / 2, 1), h = std::max(DisplayHeight(X.Conn, screen) / 2, 1);
    const Window window = XCreateSimpleWindow(X.Conn, RootWindow(X.Conn, screen), 0, 0, unsigned(w), unsigned(h), 0,
                                              BlackPixel(X.Conn, screen), BlackPixel(X.Conn, screen));
    X.Own = true;
    XStoreName(X.Conn, window, "glyphfall-xscreensaver");
    XClassHint hint = {const_cast<char*>("glyphfall-xscreensaver"), const_cast<char*>("glyphfall-xscreensaver")};
    XSetClassHint(X.Conn, window, &hint);
    X.DeleteWindow = XInternAtom(X.Conn, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(X.Conn, window, &X.DeleteWindow, 1);
    XMapWindow(X.Conn, window);
    return window;
}

bool PlatformOpenWindow(const WindowPlace& place, const char*, int32_t* width, int32_t* height,
                        std::string* error)
{
    if (place.Kind != PlaceGiven && place.Kind != PlaceRoot && place.Kind != PlaceOwn) {
        *error = "this window backend serves XScreenSaver's, the root or its own window only";
        return false;
    }
    const char* name = std::getenv("DISPLAY");
    X.Conn = XOpenDisplay(nullptr);
    if (!X.Conn) {
        *error = name && *name ? std::string("cannot open the display DISPLAY=") + name : "DISPLAY is not set";
        return false;
    }
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
    X.Target = place.Kind == PlaceOwn    ? OpenOwnWindow()
               : place.Kind == PlaceRoot ? VirtualRoot(X.Conn)
                                         : Window(place.Handle);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(X.Conn, X.Target, &attributes) || X.Gone) {
        char text[64];
        std::snprintf(text, sizeof text, "window 0x%lx does not exist", static_cast<unsigned long>(X.Target));
        *error = text;
        PlatformCloseWindow();
        return false;
    }
    if (attributes.visual->c_class != TrueColor) {
        *error = "the window's visual is not true colour (depth " + std::to_string(attributes.depth) + ")";
        PlatformCloseWindow();
        return false;
    }
    // Added to whatever the window's owner selected (each client has its own
    // mask): size changes, the window's end, and parts to repaint.
    XSelectInput(X.Conn, X.Target, StructureNotifyMask | ExposureMask);
    XPictureOpen(&X.Picture, X.Conn, X.Target, attributes);
    if (!XPictureResize(&X.Picture, attributes.width, attributes.height)) {
        *error = "cannot make a picture of the window's size (" + std::to_string(attributes.width) + "x" +
                 std::to_string(attributes.height) + "): memory refused, or pixels of other than 16 or 32 bits";
        PlatformCloseWindow();
        return false;
    }
    if (!EventQueueOpen()) {
        *error = "cannot make the frame wake-up";
        PlatformCloseWindow();
        return false;
    }
    // No refresh rate to ask an arbitrary window for: 60 a second.
    PumpStart(0);
    *width = attributes.width;
    *height = attributes.height;
    return true;
}

void PlatformCloseWindow()
{
    PumpStop();
    if (!X.Conn)
        return;
    XPictureClose(&X.Picture);
    if (X.Own && !X.Gone)
        XDestroyWindow(X.Conn, X.Target);
    else if (!X.Gone && X.Target)
        XSelectInput(X.Conn, X.Target, NoEventMask);
    XCloseDisplay(X.Conn);
    X.Conn = nullptr;
    X.Target = 0;
    EventQueueClose();
}

int PlatformScreenDpi()
{
    return XftDpi(X.Conn);
}

// XScreenSaver hides the pointer and owns the input; our own window is for
// watching, with the pointer as the desktop has it.
void PlatformHideCursor() {}

void PlatformSetOverlay(const std::string& text)
{
    X.Overlay = text;
}

bool BackendShowRows(const uint8_t* const* rows, int32_t width, int32_t height)
{
    return !X.Gone && XPictureShow(&X.Picture, rows, width, height, X.Overlay);
}

bool BackendWake()
{
    return EventQueueWakeForFrame();
}

static void HandleEvent(const XEvent& e)
{
    if (e.xany.window != X.Target)
        return;
    switch (e.type) {
    case ConfigureNotify:
        if (e.xconfigure.width != X.Picture.Width || e.xconfigure.height != X.Picture.Height) {
            if (!XPictureResize(&X.Picture, e.xconfigure.width, e.xconfigure.height))
                std::fprintf(stderr, "%s: no picture at %dx%d: memory refused\n", PlatformProgramName(),
                             e.xconfigure.width, e.xconfigure.height);
            PumpShowAgain();
            EventQueuePush(EventResize, e.xconfigure.width, e.xconfigure.height);
        }
        break;
    case Expose:
        // Repainted at once, not at the next frame, which may be seconds away.
        if (e.xexpose.count == 0)
            PumpShowAgain();
        break;
    case DestroyNotify:
        X.Gone = true;
        break;
    case ClientMessage:
        if (X.Own && Atom(e.xclient.data.l[0]) == X.DeleteWindow)
            X.Gone = true;
        break;
    default:
        break;
    }
}

static void ReadXEvents()
{
    while (XPending(X.Conn) && !X.Gone) {
        XEvent e;
        XNextEvent(X.Conn, &e);
        HandleEvent(e);
    }
    // A window that has gone ends the program, quietly: once.
    if (X.Gone && !X.GoneTold) {
        X.GoneTold = true;
        EventQueuePush(EventClose);
    }
}

bool BackendWaitEvent(int ms, PlatformEvent* event)
{
    *event = PlatformEvent{EventNone, ButtonOther, 0, 0};
    ReadXEvents();
    if (EventQueueTake(event))
        return true;
    pollfd fds[2] = {{ConnectionNumber(X.Conn), POLLIN, 0}, {EventQueueFd(), POLLIN, 0}};
    poll(fds, 2, ms);
    if (fds[1].revents & POLLIN)
        EventQueueDrain();
    ReadXEvents();
    return EventQueueTake(event);
}
