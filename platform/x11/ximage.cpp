// X images in the window's visual: MIT-SHM, or a pixmap put whole.
#include "platform/x11/ximage.h"

#include <sys/ipc.h>
#include <sys/shm.h>

#include <atomic>
#include <bit>
#include <cstdlib>

static std::atomic<bool> Refused{false};

static int OnRefusal(Display*, XErrorEvent*)
{
    Refused.store(true);
    return 0;
}

// Sends a request the server may refuse (memory it cannot attach or spare);
// true when it took it. Earlier errors go to the program's own handler
// first; only the request's own refusal is caught here.
template <typename Request>
static bool ServerTakes(Display* conn, Request request)
{
    XSync(conn, False);
    Refused.store(false);
    XErrorHandler previous = XSetErrorHandler(OnRefusal);
    request();
    XSync(conn, False);
    XSetErrorHandler(previous);
    return !Refused.load();
}

void XPictureOpen(XPicture* p, Display* conn, Window window, const XWindowAttributes& attributes)
{
    p->Conn = conn;
    p->Target = window;
    p->Vis = attributes.visual;
    p->Depth = attributes.depth;
    XGCValues values = {};
    values.graphics_exposures = False;   // no NoExpose event for every copy
    const int screen = XScreenNumberOfScreen(attributes.screen);
    values.foreground = WhitePixel(conn, screen);
    values.background = BlackPixel(conn, screen);
    p->Gc = XCreateGC(conn, window, GCGraphicsExposures | GCForeground | GCBackground, &values);
    p->ShmUsable = XShmQueryExtension(conn);
}

// Frees the image, letting go of its shared memory first (detached from the
// server too when the server had attached it).
static void DropImage(XPicture* p, bool attached)
{
    if (p->Shm.shmaddr) {
        if (attached) {
            XShmDetach(p->Conn, &p->Shm);
            XSync(p->Conn, False);
        }
        shmdt(p->Shm.shmaddr);
        p->Image->data = nullptr;
    }
    p->Shm = {};
    XDestroyImage(p->Image);
    p->Image = nullptr;
}

static void FreeImage(XPicture* p)
{
    if (p->Back)
        XFreePixmap(p->Conn, p->Back);
    p->Back = 0;
    if (p->Image)
        DropImage(p, true);
}

// An image in shared memory, if the server attaches it; the caller falls
// back to plain memory otherwise.
static bool MakeSharedImage(XPicture* p)
{
    p->Image = XShmCreateImage(p->Conn, p->Vis, unsigned(p->Depth), ZPixmap, nullptr, &p->Shm, unsigned(p->Width),
                               unsigned(p->Height));
    if (!p->Image)
        return false;
    p->Shm.shmid = shmget(IPC_PRIVATE, size_t(p->Image->bytes_per_line) * size_t(p->Height), IPC_CREAT | 0600);
    void* addr = p->Shm.shmid >= 0 ? shmat(p->Shm.shmid, nullptr, 0) : reinterpret_cast<void*>(-1);
    // Marked for removal at once, before the server is asked to attach it
    // (Linux lets it attach a marked segment): it goes when both sides let
    // go, even if either dies during the round trip.
    if (p->Shm.shmid >= 0)
        shmctl(p->Shm.shmid, IPC_RMID, nullptr);
    if (addr != reinterpret_cast<void*>(-1)) {
        p->Shm.shmaddr = p->Image->data = static_cast<char*>(addr);
        p->Shm.readOnly = False;
        if (ServerTakes(p->Conn, [p] { XShmAttach(p->Conn, &p->Shm); }))
            return true;
    }
    // A remote server cannot attach our memory: plain images from now on.
    DropImage(p, false);
    p->ShmUsable = false;
    return false;
}

bool XPictureResize(XPicture* p, int32_t width, int32_t height)
{
    FreeImage(p);
    p->Width = width;
    p->Height = height;
    if (width <= 0 || height <= 0)
        return false;
    if (!(p->ShmUsable && MakeSharedImage(p))) {
        p->Image = XCreateImage(p->Conn, p->Vis, unsigned(p->Depth), ZPixmap, 0, nullptr, unsigned(width),
                                unsigned(height), 32, 0);
        if (!p->Image)
            return false;
        p->Image->data = static_cast<char*>(std::calloc(size_t(p->Image->bytes_per_line) * size_t(height), 1));
        if (!p->Image->data) {
            XDestroyImage(p->Image);
            p->Image = nullptr;
            return false;
        }
        // Xlib sends a large image in several requests, which the window would
        // show one by one (a torn picture): they go to a pixmap, copied at once.
        // A server short of memory for it gets them directly: torn, but shown.
        if (!ServerTakes(p->Conn, [p] {
                p->Back = XCreatePixmap(p->Conn, p->Target, unsigned(p->Width), unsigned(p->Height),
                                        unsigned(p->Depth));
            }))
            p->Back = 0;
        // Pixels are written in this machine's order; Xlib swaps them for a
        // server of the other one.
        p->Image->byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
    }
    return p->Image->bits_per_pixel == 32 || p->Image->bits_per_pixel == 16;
}

bool XPictureShow(XPicture* p, const uint8_t* const* rows, int32_t width, int32_t height, const std::string& overlay)
{
    XImage* image = p->Image;
    if (!image || !image->data || width <= 0 || (image->bits_per_pixel != 32 && image->bits_per_pixel != 16))
        return false;
    PrepareScaleTables(&p->Tables, width, height, p->Width, p->Height);
    const PixelLayout layout = LayoutOfImage(uint32_t(image->red_mask), uint32_t(image->green_mask),
                                             uint32_t(image->blue_mask), p->Depth, image->bits_per_pixel);
    ScaleRaster(&p->Tables, rows, layout, reinterpret_cast<uint8_t*>(image->data), image->bytes_per_line);
    const unsigned w = unsigned(p->Width), h = unsigned(p->Height);
    if (p->Shm.shmaddr) {
        XShmPutImage(p->Conn, p->Target, p->Gc, image, 0, 0, 0, 0, w, h, False);
    } else if (!p->Back) {
        XPutImage(p->Conn, p->Target, p->Gc, image, 0, 0, 0, 0, w, h);
    } else {
        XPutImage(p->Conn, p->Back, p->Gc, image, 0, 0, 0, 0, w, h);
        XCopyArea(p->Conn, p->Back, p->Target, p->Gc, 0, 0, w, h, 0, 0);
    }
    if (!overlay.empty())
        XDrawImageString(p->Conn, p->Target, p->Gc, 8, p->Height - 10, overlay.c_str(), int(overlay.size()));
    // Wait for the server to take the picture: the shared memory is written
    // again for the next frame, and a slow server should slow us, not queue up.
    XSync(p->Conn, False);
    return true;
}

void XPictureClose(XPicture* p)
{
    if (!p->Conn)
        return;
    FreeImage(p);
    if (p->Gc)
        XFreeGC(p->Conn, p->Gc);
    p->Gc = nullptr;
    p->Conn = nullptr;
}
