// The screen-saver hack's backend: plain Xlib on a window that usually
// belongs to someone else (XScreenSaver's, or the root). SDL would adopt
// such a window only half-way (no size or destroy events), so the hack talks
// to X itself: it selects StructureNotify and Exposure and nothing else,
// never grabs, and shows frames through MIT-SHM when the server offers it.
//
// Threads: Xlib is used on the main thread only. PlatformPresent, called by
// the hack's animation thread, copies the raster into a one-frame slot; the
// main thread shows the newest one at most once per 1/60 s.
#include <poll.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include "platform/display.h"
#include "platform/frame_slot.h"
#include "platform/saver_window.h"
#include "platform/x11/xft_dpi.h"
#include "platform/scaler.h"

using Clock = std::chrono::steady_clock;

static struct {
    Display* Conn = nullptr;           // the hack's own connection
    Window Target = 0;                 // the window drawn in
    bool Own = false;                  // the window is ours: destroy it at the end
    Atom DeleteWindow = 0;             // WM_DELETE_WINDOW, for our own window
    Visual* Vis = nullptr;             // the window's visual and depth, for the image
    int Depth = 0;
    GC Gc = nullptr;                   // for the image and the overlay text
    int32_t Width = 0, Height = 0;     // the window as last configured
    bool Gone = false;                 // destroyed, or an X error named it
    XImage* Image = nullptr;           // the window-sized picture, or null
    Pixmap Back = 0;                   // without shared memory: the picture, put whole on the window
    XShmSegmentInfo Shm = {};          // its shared memory when Shm.shmaddr is set
    bool ShmUsable = false;            // the server has MIT-SHM and took our memory
    ScaleTables Tables;                // raster to window, nearest neighbour
    Clock::time_point LastShown;       // when a frame last went to the window
    std::string Overlay;               // the --fps line, or ""

    FrameSlot Slot;                    // frames handed over by the animation thread
    ShownFrame Showing;                // main thread: the frame being shown
} X;

static std::atomic<bool> XErrorSeen{false};

static int OnXError(Display*, XErrorEvent* e)
{
    // Asynchronous errors: a window destroyed under us shows up as BadWindow
    // or BadDrawable on its id. Anything else is only noted (MIT-SHM refused).
    if ((e->error_code == BadWindow || e->error_code == BadDrawable) && e->resourceid == X.Target)
        X.Gone = true;
    XErrorSeen.store(true);
    return 0;
}

static int OnXIOError(Display*)
{
    // The server has gone (with the screen saver's session, say): nothing
    // left to draw on, and Xlib would exit() after this handler anyway.
    static const char message[] = "glyphfall-xscreensaver: lost the connection to the X server\n";
    ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
    (void)ignored;
    _exit(1);
}

// The virtual root that some desktops put over the real one (__SWM_VROOT on
// one of its children), as XScreenSaver's vroot.h finds it; else the root.
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
                type == XA_WINDOW && items == 1 && data)
                found = *reinterpret_cast<Window*>(data);
            if (data)
                XFree(data);
        }
        if (children)
            XFree(children);
    }
    return found;
}

static void FreeImage()
{
    if (X.Back)
        XFreePixmap(X.Conn, X.Back);
    X.Back = 0;
    if (!X.Image)
        return;
    if (X.Shm.shmaddr) {
        XShmDetach(X.Conn, &X.Shm);
        XSync(X.Conn, False);
        shmdt(X.Shm.shmaddr);
        X.Shm = {};
        X.Image->data = nullptr;
    }
    XDestroyImage(X.Image);
    X.Image = nullptr;
}

// A picture the size of the window in the window's visual; shared memory
// when the server can attach it, plain memory otherwise.
static void MakeImage()
{
    FreeImage();
    if (X.Width <= 0 || X.Height <= 0)
        return;
    if (X.ShmUsable) {
        X.Image = XShmCreateImage(X.Conn, X.Vis, unsigned(X.Depth), ZPixmap, nullptr, &X.Shm, unsigned(X.Width),
                                  unsigned(X.Height));
        if (X.Image) {
            X.Shm.shmid = shmget(IPC_PRIVATE, size_t(X.Image->bytes_per_line) * size_t(X.Height), IPC_CREAT | 0600);
            void* addr = X.Shm.shmid >= 0 ? shmat(X.Shm.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
            // Marked for removal at once, before the server is asked to attach
            // it (Linux lets it attach a marked segment): it goes when both
            // sides let go, even if either dies during the round trip.
            if (X.Shm.shmid >= 0)
                shmctl(X.Shm.shmid, IPC_RMID, nullptr);
            if (addr != reinterpret_cast<void*>(-1)) {
                X.Shm.shmaddr = X.Image->data = static_cast<char*>(addr);
                X.Shm.readOnly = False;
                XErrorSeen.store(false);
                XShmAttach(X.Conn, &X.Shm);
                XSync(X.Conn, False);
            }
            if (X.Shm.shmaddr && !XErrorSeen.load())
                return;
            // A remote server cannot attach our memory: plain images from now on.
            if (X.Shm.shmaddr)
                shmdt(X.Shm.shmaddr);
            X.Shm = {};
            X.Image->data = nullptr;
            XDestroyImage(X.Image);
            X.Image = nullptr;
            X.ShmUsable = false;
        }
    }
    X.Image = XCreateImage(X.Conn, X.Vis, unsigned(X.Depth), ZPixmap, 0, nullptr, unsigned(X.Width),
                           unsigned(X.Height), 32, 0);
    if (!X.Image)
        return;
    X.Image->data = static_cast<char*>(std::calloc(size_t(X.Image->bytes_per_line) * size_t(X.Height), 1));
    // Xlib sends a large image in several requests, which the window would
    // show one by one (a torn picture): they go to a pixmap, copied at once.
    X.Back = XCreatePixmap(X.Conn, X.Target, unsigned(X.Width), unsigned(X.Height), unsigned(X.Depth));
    // Pixels are written in this machine's order; Xlib swaps them for a
    // server of the other one.
    X.Image->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
}

bool PlatformOpenHackWindow(HackWindowKind kind, unsigned long id, int32_t* width, int32_t* height,
                            std::string* error)
{
    const char* name = std::getenv("DISPLAY");
    X.Conn = XOpenDisplay(nullptr);
    if (!X.Conn) {
        *error = name && *name ? std::string("cannot open the display DISPLAY=") + name : "DISPLAY is not set";
        return false;
    }
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXIOError);
    const int screen = DefaultScreen(X.Conn);
    if (kind == HackWindowOwn) {
        // Half the screen: big enough to see, small enough to leave the desktop usable.
        const int w = std::max(DisplayWidth(X.Conn, screen) / 2, 1), h = std::max(DisplayHeight(X.Conn, screen) / 2, 1);
        X.Target = XCreateSimpleWindow(X.Conn, RootWindow(X.Conn, screen), 0, 0, unsigned(w), unsigned(h), 0,
                                       BlackPixel(X.Conn, screen), BlackPixel(X.Conn, screen));
        X.Own = true;
        XStoreName(X.Conn, X.Target, "glyphfall-xscreensaver");
        XClassHint hint = {const_cast<char*>("glyphfall-xscreensaver"), const_cast<char*>("glyphfall-xscreensaver")};
        XSetClassHint(X.Conn, X.Target, &hint);
        X.DeleteWindow = XInternAtom(X.Conn, "WM_DELETE_WINDOW", False);
        XSetWMProtocols(X.Conn, X.Target, &X.DeleteWindow, 1);
        XMapWindow(X.Conn, X.Target);
    } else {
        X.Target = kind == HackWindowRoot ? VirtualRoot(X.Conn) : Window(id);
    }
    XWindowAttributes attributes;
    XErrorSeen.store(false);
    if (!XGetWindowAttributes(X.Conn, X.Target, &attributes) || X.Gone) {
        char text[64];
        std::snprintf(text, sizeof text, "window 0x%lx does not exist", static_cast<unsigned long>(X.Target));
        *error = text;
        PlatformCloseHackWindow();
        return false;
    }
    if (attributes.visual->c_class != TrueColor) {
        *error = "the window's visual is not true colour (depth " + std::to_string(attributes.depth) + ")";
        PlatformCloseHackWindow();
        return false;
    }
    // Added to whatever the window's owner selected (each client has its own
    // mask): size changes, the window's end, and parts to repaint.
    XSelectInput(X.Conn, X.Target, StructureNotifyMask | ExposureMask);
    X.Vis = attributes.visual;
    X.Depth = attributes.depth;
    X.Width = attributes.width;
    X.Height = attributes.height;
    XGCValues values = {};
    values.graphics_exposures = False;   // no NoExpose event for every copy
    X.Gc = XCreateGC(X.Conn, X.Target, GCGraphicsExposures, &values);
    XSetForeground(X.Conn, X.Gc, WhitePixel(X.Conn, screen));
    XSetBackground(X.Conn, X.Gc, BlackPixel(X.Conn, screen));
    X.ShmUsable = XShmQueryExtension(X.Conn);
    MakeImage();
    if (!X.Image || (X.Image->bits_per_pixel != 32 && X.Image->bits_per_pixel != 16)) {
        *error = "the window's pixel format is not 16 or 32 bits per pixel";
        PlatformCloseHackWindow();
        return false;
    }
    *width = X.Width;
    *height = X.Height;
    return true;
}

void PlatformSleep(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

int PlatformScreenDpi()
{
    return XftDpi(X.Conn);
}

void PlatformPresent(uint8_t* const* rows, int32_t width, int32_t height)
{
    PutFrame(&X.Slot, rows, width, height);
}

void PlatformSetHackOverlay(const std::string& text)
{
    X.Overlay = text;
}

// Puts the frame being shown on the window, enlarged exactly, and the overlay.
static void Show()
{
    if (!X.Image || X.Showing.Width <= 0 || X.Gone)
        return;
    const std::vector<const uint8_t*> rows = FrameRows(X.Showing);
    PrepareScaleTables(&X.Tables, X.Showing.Width, X.Showing.Height, X.Width, X.Height);
    const PixelLayout layout = LayoutOfImage(uint32_t(X.Image->red_mask), uint32_t(X.Image->green_mask),
                                             uint32_t(X.Image->blue_mask), X.Depth, X.Image->bits_per_pixel);
    ScaleRaster(&X.Tables, rows.data(), layout, reinterpret_cast<uint8_t*>(X.Image->data), X.Image->bytes_per_line);
    if (X.Shm.shmaddr) {
        XShmPutImage(X.Conn, X.Target, X.Gc, X.Image, 0, 0, 0, 0, unsigned(X.Width), unsigned(X.Height), False);
    } else {
        XPutImage(X.Conn, X.Back, X.Gc, X.Image, 0, 0, 0, 0, unsigned(X.Width), unsigned(X.Height));
        XCopyArea(X.Conn, X.Back, X.Target, X.Gc, 0, 0, unsigned(X.Width), unsigned(X.Height), 0, 0);
    }
    if (!X.Overlay.empty())
        XDrawImageString(X.Conn, X.Target, X.Gc, 8, X.Height - 10, X.Overlay.c_str(), int(X.Overlay.size()));
    // Wait for the server to take the picture: the shared memory is written
    // again for the next frame, and a slow server should slow us, not queue up.
    XSync(X.Conn, False);
    X.LastShown = Clock::now();
}

static void HandleEvent(const XEvent& e)
{
    if (e.xany.window != X.Target)
        return;
    switch (e.type) {
    case ConfigureNotify:
        if (e.xconfigure.width != X.Width || e.xconfigure.height != X.Height) {
            X.Width = e.xconfigure.width;
            X.Height = e.xconfigure.height;
            MakeImage();
            Show();
        }
        break;
    case Expose:
        // Repainted at once, not at the next frame, which may be seconds away.
        if (e.xexpose.count == 0)
            Show();
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

bool PlatformServeHackWindow(int ms, int32_t* width, int32_t* height)
{
    using namespace std::chrono;
    const auto deadline = Clock::now() + milliseconds(ms);
    const auto frameInterval = microseconds(16667);
    while (!X.Gone) {
        while (XPending(X.Conn) && !X.Gone) {
            XEvent e;
            XNextEvent(X.Conn, &e);
            HandleEvent(e);
        }
        if (X.Gone)
            break;
        if (FrameDue(Clock::now(), X.LastShown, frameInterval) && TakeFrame(&X.Slot, &X.Showing))
            Show();
        const auto now = Clock::now();
        if (now >= deadline)
            break;
        // Sleep until an X event comes, the waiting frame is due, or the
        // slice ends. A frame handed over meanwhile does not wake us: it
        // waits at most one slice.
        const auto wait = FrameWait(now, X.LastShown, frameInterval, FrameFresh(&X.Slot),
                                    ceil<milliseconds>(deadline - now));
        pollfd p = {ConnectionNumber(X.Conn), POLLIN, 0};
        poll(&p, 1, int(wait.count()));
    }
    *width = X.Width;
    *height = X.Height;
    return !X.Gone;
}

void PlatformCloseHackWindow()
{
    if (!X.Conn)
        return;
    FreeImage();
    if (X.Gc)
        XFreeGC(X.Conn, X.Gc);
    if (X.Own && !X.Gone)
        XDestroyWindow(X.Conn, X.Target);
    else if (!X.Gone && X.Target)
        XSelectInput(X.Conn, X.Target, NoEventMask);
    XCloseDisplay(X.Conn);
    X.Conn = nullptr;
    X.Gc = nullptr;
    X.Image = nullptr;
    X.Target = 0;
}
