// SDL2 backend: the full-screen window, input translated into the program's
// own events, and presentation through a CPU scaler: into the window surface
// on X11 (or as X images where SDL has no surface for the visual), into a
// streaming texture of the output's physical size elsewhere (Wayland has no
// window surface of its own).
//
// Threads: SDL is used on the main thread only. Frames from the animation
// thread come through the frame pump; its wake-up is an SDL event.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <wayland-client.h>

#include "platform/display.h"
#include "platform/frame_pump.h"
#include "platform/process.h"
#include "platform/scaler.h"
#include "platform/window.h"
#include "platform/x11/xft_dpi.h"
#include "platform/x11/ximage.h"

static struct {
    SDL_Window* Window = nullptr;
    Display* XDisplay = nullptr;            // set when the video driver is X11
    wl_display* WaylandDisplay = nullptr;   // set when the video driver is Wayland
    SDL_Renderer* Renderer = nullptr;       // the presentation path where X11's window surface is not used
    SDL_Texture* Texture = nullptr;         // the output's size in physical pixels
    // X11 screens whose pixel format SDL cannot name (depth 30: 10 bits a
    // channel) get no window surface: frames go to the window as X images.
    XPicture Picture;                       // Picture.Conn is set when that is the path
    int TextureWidth = 0, TextureHeight = 0;
    double PixelsPerUnit = 1.0;             // physical pixels per window coordinate (the output's scale)
    Uint32 WakeEvent = 0, DestroyEvent = 0, QuitEvent = 0;  // our SDL event types
    ScaleTables Tables;
} Sdl;

static int OnXIOError(Display*)
{
    // Xlib's default handler calls exit() while the animation thread runs on
    // state that exit() tears down.
    PlatformExitLostDisplay("X server");
}

static bool DisplayNamed()
{
    const char* names[] = {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"};
    for (const char* n : names) {
        const char* v = std::getenv(n);
        if (v && *v)
            return true;
    }
    return false;
}

// The presentation path where there is no X11 window surface: a renderer
// (GL through EGL; a software rasteriser will do) without vsync, which on
// Wayland would block while the window is hidden; the main thread paces
// frames itself. The screen size becomes the output's size in physical pixels.
static bool OpenRenderer(int* width, int* height, std::string* error)
{
    Sdl.Renderer = SDL_CreateRenderer(Sdl.Window, -1, 0);
    int windowWidth = 0, windowHeight = 0;
    if (!Sdl.Renderer || SDL_GetRendererOutputSize(Sdl.Renderer, width, height) != 0) {
        *error = std::string("cannot draw in the window: ") + SDL_GetError();
        return false;
    }
    SDL_GetWindowSize(Sdl.Window, &windowWidth, &windowHeight);
    if (windowWidth > 0)
        Sdl.PixelsPerUnit = double(*width) / windowWidth;
    return true;
}

// The presentation path where SDL has no window surface on X11: the window's
// own visual, read through its masks.
static bool OpenXFrames(const SDL_SysWMinfo& info, std::string* error)
{
    XWindowAttributes attributes;
    const std::string why = SDL_GetError();
    if (!Sdl.XDisplay || !XGetWindowAttributes(Sdl.XDisplay, info.info.x11.window, &attributes) ||
        (attributes.visual->c_class != TrueColor && attributes.visual->c_class != DirectColor)) {
        *error = "cannot draw in the window: " + why;
        return false;
    }
    // SDL gives a DirectColor visual a linear colour map: its pixel values
    // mean what they would in TrueColor.
    XPictureOpen(&Sdl.Picture, Sdl.XDisplay, info.info.x11.window, attributes);
    return true;
}

bool PlatformOpenWindow(const WindowPlace& place, const char* className, int32_t* width, int32_t* height,
                        std::string* error)
{
    if (place.Kind != PlaceFullScreen) {
        *error = "this window backend serves the full screen only";
        return false;
    }
    // SDL 2.26 silently falls back to an invisible offscreen driver when no
    // display is named; a user-chosen SDL_VIDEODRIVER is respected.
    const char* chosen = std::getenv("SDL_VIDEODRIVER");
    const bool userChoseDriver = chosen && *chosen;
    if (!DisplayNamed()) {
        *error = "no display available: neither DISPLAY nor WAYLAND_DISPLAY is set";
        return false;
    }
    setenv("SDL_VIDEO_X11_WMCLASS", className, 0);
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");            // the shell handles SIGINT and SIGTERM
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");       // let the desktop blank and lock
    SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
    SDL_SetHint(SDL_HINT_APP_NAME, className);
    // A borderless full-screen window needs no client-side decorations, and
    // libdecor would only complain on stderr about missing plugins.
    SDL_SetHint(SDL_HINT_VIDEO_WAYLAND_ALLOW_LIBDECOR, "0");
    // On X11 the window surface goes straight through the window system
    // (XShm): SDL's default here is a GL renderer, which costs a software
    // rasteriser and its threads on machines without a GPU, and gains nothing
    // for one copy.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Only the window system the environment names is tried, so that a
    // display that cannot be opened is reported as such, rather than SDL
    // probing another system (which prints its own complaints) and landing
    // on the offscreen driver.
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool hasX11 = x11 && *x11, hasWayland = wayland && *wayland;
    if (!userChoseDriver && hasX11 != hasWayland)
        SDL_SetHint(SDL_HINT_VIDEODRIVER, hasX11 ? "x11" : "wayland");
    const std::string named = hasX11 && hasWayland ? std::string("DISPLAY=") + x11 + " or WAYLAND_DISPLAY=" + wayland
                              : hasX11             ? std::string("DISPLAY=") + x11
                              : hasWayland         ? std::string("WAYLAND_DISPLAY=") + wayland
                                                   : std::string("SDL_VIDEODRIVER=") + chosen;
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        *error = "cannot open the display named by " + named + ": " + SDL_GetError();
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    if (!userChoseDriver && driver && (!std::strcmp(driver, "offscreen") || !std::strcmp(driver, "dummy"))) {
        *error = "cannot open the display named by " + named + ": SDL found only its \"" + std::string(driver) +
                 "\" video driver";
        SDL_Quit();
        return false;
    }
    SDL_DisplayMode mode;
    if (SDL_GetDesktopDisplayMode(0, &mode) != 0) {
        *error = std::string("cannot read the primary screen's size: ") + SDL_GetError();
        SDL_Quit();
        return false;
    }
    // On a scaled Wayland output the window must get a buffer of physical
    // pixels, or the compositor enlarges (and blurs) a logical-size one.
    const bool x11Driver = driver && !std::strcmp(driver, "x11");
    Sdl.Window = SDL_CreateWindow("", SDL_WINDOWPOS_UNDEFINED_DISPLAY(0), SDL_WINDOWPOS_UNDEFINED_DISPLAY(0),
                                  mode.w, mode.h,
                                  SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_ALWAYS_ON_TOP |
                                      SDL_WINDOW_BORDERLESS | SDL_WINDOW_SHOWN |
                                      (x11Driver ? 0 : SDL_WINDOW_ALLOW_HIGHDPI));
    if (!Sdl.Window) {
        *error = std::string("cannot create the window: ") + SDL_GetError();
        SDL_Quit();
        return false;
    }
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    const bool wmInfo = SDL_GetWindowWMInfo(Sdl.Window, &info);
    if (wmInfo && info.subsystem == SDL_SYSWM_X11) {
        Sdl.XDisplay = info.info.x11.display;
        XSetIOErrorHandler(OnXIOError);
    }
    if (wmInfo && info.subsystem == SDL_SYSWM_WAYLAND)
        Sdl.WaylandDisplay = info.info.wl.display;
    if (x11Driver && !SDL_GetWindowSurface(Sdl.Window) && !OpenXFrames(info, error)) {
        PlatformCloseWindow();
        return false;
    }
    if (!x11Driver && !OpenRenderer(&mode.w, &mode.h, error)) {
        PlatformCloseWindow();
        return false;
    }
    const Uint32 first = SDL_RegisterEvents(3);
    Sdl.WakeEvent = first;
    Sdl.DestroyEvent = first + 1;
    Sdl.QuitEvent = first + 2;
    PumpStart(mode.refresh_rate);
    *width = mode.w;
    *height = mode.h;
    return true;
}

void PlatformCloseWindow()
{
    PumpStop();
    if (!Sdl.Window)
        return;
    if (Sdl.Texture)
        SDL_DestroyTexture(Sdl.Texture);
    XPictureClose(&Sdl.Picture);
    if (Sdl.Renderer)
        SDL_DestroyRenderer(Sdl.Renderer);
    Sdl.Texture = nullptr;
    Sdl.Renderer = nullptr;
    SDL_DestroyWindow(Sdl.Window);
    Sdl.Window = nullptr;
    Sdl.XDisplay = nullptr;
    Sdl.WaylandDisplay = nullptr;
    SDL_Quit();
}

int PlatformScreenDpi()
{
    // SDL's own figure is the physical DPI, which a server with no real
    // monitor may not even know.
    // Without X, desktops follow Wayland's convention: 96 times the output's
    // scale.
    if (!Sdl.XDisplay)
        return int(96.0 * Sdl.PixelsPerUnit + 0.5);
    return XftDpi(Sdl.XDisplay);
}

void PlatformHideCursor()
{
    SDL_ShowCursor(SDL_DISABLE);
}

bool PlatformCursorPosition(int32_t* x, int32_t* y)
{
    // Only X11 answers for the whole screen; SDL's figure elsewhere (Wayland)
    // is a guess that looks like a position.
    *x = *y = 0;
    if (!Sdl.XDisplay)
        return false;
    Window root, child;
    int rootX = 0, rootY = 0, winX = 0, winY = 0;
    unsigned mask = 0;
    if (!XQueryPointer(Sdl.XDisplay, DefaultRootWindow(Sdl.XDisplay), &root, &child, &rootX, &rootY, &winX, &winY,
                       &mask))
        return false;
    *x = rootX;
    *y = rootY;
    return true;
}

void PlatformSleep(int64_t microseconds)
{
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}

static PixelLayout LayoutOf(const SDL_PixelFormat* f)
{
    PixelLayout layout = LayoutFromMasks(f->Rmask, f->Gmask, f->Bmask, f->Amask);
    layout.BytesPerPixel = f->BytesPerPixel;
    return layout;
}

// Scales rows into an X image of the window's size and puts it on the
// window. Main thread only.
static bool ShowRowsX(const uint8_t* const* rows, int32_t width, int32_t height)
{
    int w = 0, h = 0;
    SDL_GetWindowSize(Sdl.Window, &w, &h);
    if (w <= 0 || h <= 0 || ((w != Sdl.Picture.Width || h != Sdl.Picture.Height || !Sdl.Picture.Image) &&
                             !XPictureResize(&Sdl.Picture, w, h)))
        return false;
    return XPictureShow(&Sdl.Picture, rows, width, height, "");
}

// Scales rows into the texture, at the output's size in physical pixels, and
// shows it copied one to one. Main thread only.
static bool ShowRowsRendered(const uint8_t* const* rows, int32_t width, int32_t height)
{
    int outWidth = 0, outHeight = 0;
    if (width <= 0 || SDL_GetRendererOutputSize(Sdl.Renderer, &outWidth, &outHeight) != 0 || outWidth <= 0 ||
        outHeight <= 0)
        return false;
    if (!Sdl.Texture || outWidth != Sdl.TextureWidth || outHeight != Sdl.TextureHeight) {
        if (Sdl.Texture)
            SDL_DestroyTexture(Sdl.Texture);
        Sdl.Texture = SDL_CreateTexture(Sdl.Renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING,
                                        outWidth, outHeight);
        if (!Sdl.Texture)
            return false;
        SDL_SetTextureBlendMode(Sdl.Texture, SDL_BLENDMODE_NONE);
        SDL_SetTextureScaleMode(Sdl.Texture, SDL_ScaleModeNearest);
        Sdl.TextureWidth = outWidth;
        Sdl.TextureHeight = outHeight;
    }
    void* pixels = nullptr;
    int pitch = 0;
    if (SDL_LockTexture(Sdl.Texture, nullptr, &pixels, &pitch) != 0)
        return false;
    PrepareScaleTables(&Sdl.Tables, width, height, outWidth, outHeight);
    ScaleRaster(&Sdl.Tables, rows, PixelLayout{16, 8, 0, 0xFF000000u}, static_cast<uint8_t*>(pixels), pitch);
    SDL_UnlockTexture(Sdl.Texture);
    SDL_RenderCopy(Sdl.Renderer, Sdl.Texture, nullptr, nullptr);
    SDL_RenderPresent(Sdl.Renderer);
    return true;
}

// Scales rows onto the window surface and shows it. Main thread only.
bool BackendShowRows(const uint8_t* const* rows, int32_t width, int32_t height)
{
    if (Sdl.Renderer)
        return ShowRowsRendered(rows, width, height);
    if (Sdl.Picture.Conn)
        return ShowRowsX(rows, width, height);
    SDL_Surface* surface = SDL_GetWindowSurface(Sdl.Window);
    if (!surface || width <= 0)
        return false;
    PrepareScaleTables(&Sdl.Tables, width, height, surface->w, surface->h);
    if (surface->format->BytesPerPixel == 4 || surface->format->BytesPerPixel == 2) {
        SDL_LockSurface(surface);
        ScaleRaster(&Sdl.Tables, rows, LayoutOf(surface->format), static_cast<uint8_t*>(surface->pixels),
                    surface->pitch);
        SDL_UnlockSurface(surface);
    } else {
        // Pixels of 3 bytes (or 1) go through a 32-bit copy first.
        SDL_Surface* shadow = SDL_CreateRGBSurfaceWithFormat(0, surface->w, surface->h, 32, SDL_PIXELFORMAT_XRGB8888);
        if (!shadow)
            return false;
        ScaleRaster(&Sdl.Tables, rows, LayoutOf(shadow->format), static_cast<uint8_t*>(shadow->pixels),
                    shadow->pitch);
        SDL_BlitSurface(shadow, nullptr, surface, nullptr);
        SDL_FreeSurface(shadow);
    }
    SDL_UpdateWindowSurface(Sdl.Window);
    return true;
}

bool BackendWake()
{
    SDL_Event wake{};
    wake.type = Sdl.WakeEvent;
    return SDL_PushEvent(&wake) == 1;
}

void PlatformPostEvent(EventKind kind)
{
    SDL_Event e{};
    e.type = kind == EventQuit ? Sdl.QuitEvent : Sdl.DestroyEvent;
    SDL_PushEvent(&e);
}

static bool IsSystemKey(const SDL_Keysym& key)
{
    return key.sym == SDLK_F10 || key.sym == SDLK_LALT || key.sym == SDLK_RALT || (key.mod & KMOD_ALT);
}

// Translates one SDL event; false for events the program has no term for.
static bool Translate(const SDL_Event& e, PlatformEvent* out)
{
    *out = PlatformEvent{EventNone, ButtonOther, 0, 0};
    switch (e.type) {
    case SDL_KEYDOWN:
        out->Kind = IsSystemKey(e.key.keysym) ? EventSystemKey : EventKey;
        return true;
    case SDL_MOUSEBUTTONDOWN:
        out->Kind = EventButton;
        out->Button = e.button.button == SDL_BUTTON_LEFT     ? ButtonLeft
                      : e.button.button == SDL_BUTTON_RIGHT  ? ButtonRight
                      : e.button.button == SDL_BUTTON_MIDDLE ? ButtonMiddle
                                                             : ButtonOther;
        return true;
    case SDL_MOUSEWHEEL:
        out->Kind = EventWheel;
        return true;
    case SDL_MOUSEMOTION: {
        // Screen coordinates from the event itself: SDL's global mouse state
        // can lag behind the queue on X11.
        int wx = 0, wy = 0;
        SDL_GetWindowPosition(Sdl.Window, &wx, &wy);
        out->Kind = EventMouseMove;
        out->X = e.motion.x + wx;
        out->Y = e.motion.y + wy;
        return true;
    }
    case SDL_QUIT:
        // SDL reports a Wayland compositor that went away as a quit request;
        // like a lost X server, that is a failure, not a close.
        if (Sdl.WaylandDisplay && wl_display_get_error(Sdl.WaylandDisplay) != 0)
            PlatformExitLostDisplay("Wayland compositor");
        out->Kind = EventClose;
        return true;
    default:
        break;
    }
    if (e.type == Sdl.WakeEvent) {
        PumpWoken();
        return false;
    }
    if (e.type == Sdl.DestroyEvent) {
        out->Kind = EventDestroy;
        return true;
    }
    if (e.type == Sdl.QuitEvent) {
        out->Kind = EventQuit;
        return true;
    }
    return false;
}

bool BackendWaitEvent(int ms, PlatformEvent* event)
{
    SDL_Event e;
    return SDL_WaitEventTimeout(&e, ms) != 0 && Translate(e, event);
}

void PlatformShowError(const char* title, const char* text)
{
    std::fprintf(stderr, "glyphfall: %s: %s\n", title, text);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, title, text, Sdl.Window);
}

// The compositor or X server repaints what the window covered when it goes.
void PlatformEndWindow(const char*) {}

// glyphfall shows no line over its picture.
void PlatformSetOverlay(const std::string&) {}
