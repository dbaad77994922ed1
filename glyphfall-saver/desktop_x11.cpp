// What glyphfall-saver's first process does on X11, as the XScreenSaver
// daemon does for its hacks: a black override-redirect window over each
// monitor (RandR's monitor list; the whole screen without one), above every
// other window, with no visible cursor and the keyboard focus on the first.
// Each window's scene is the XScreenSaver hack drawing in it, which reads no
// input: the input is read here, in those windows, and judged by the
// shell's rule (InputEnds) with the screen savers' wake distance from where
// the pointer rested. The windows live until the end: no idle mode here,
// where XScreenSaver owns idleness.
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/keysym.h>

#include "glyphfall-saver/desktop.h"
#include "platform/process.h"
#include "shell/shell.h"

static struct {
    Display* Conn = nullptr;
    std::vector<uint32_t> Windows;   // one per monitor, the primary's first
    Cursor Invisible = 0;
    Window Focus = 0;                // the keyboard's window before ours, given back at the end
    int FocusRevert = 0;
    CursorPoint Rest = {0, 0};       // where the pointer rested as the windows appeared
    bool RestKnown = false;
    bool Refused = false;            // the server refused a request while opening
    bool InputEnded = false;         // input ended the saver: news not yet taken
    std::string Hack;                // the hack's program file
} X;

struct Area {
    int Left, Top;
    unsigned Width, Height;
    bool operator==(const Area&) const = default;
};

// The hack at its installed place relative to this program's (bin/ and
// libexec/xscreensaver/ under one prefix, whatever the prefix), else beside
// it (the build tree); "" when neither holds it.
static std::string FindHack(std::string* places)
{
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed).parent_path();
    for (const std::filesystem::path& dir : {self / GLYPHFALL_HACK_FROM_BIN, self}) {
        const std::string hack = (dir / "glyphfall-xscreensaver").lexically_normal();
        *places += (places->empty() ? "" : " or ") + hack;
        if (!failed && access(hack.c_str(), X_OK) == 0)
            return hack;
    }
    return "";
}

// The monitors, the primary first; without RandR 1.5's list, the screen.
static std::vector<Area> Monitors(Display* d)
{
    std::vector<Area> areas;
    int event, error, major = 0, minor = 0, count = 0;
    XRRMonitorInfo* m = XRRQueryExtension(d, &event, &error) && XRRQueryVersion(d, &major, &minor) &&
                                major * 100 + minor >= 105
                            ? XRRGetMonitors(d, DefaultRootWindow(d), True, &count)
                            : nullptr;
    for (int i = 0; i < count; ++i) {
        const Area a = {m[i].x, m[i].y, unsigned(m[i].width), unsigned(m[i].height)};
        // Cloned monitors would stack two scenes, one unseen.
        if (a.Width && a.Height && std::find(areas.begin(), areas.end(), a) == areas.end())
            areas.insert(m[i].primary ? areas.begin() : areas.end(), a);
    }
    if (m)
        XRRFreeMonitors(m);
    if (areas.empty())
        areas.push_back({0, 0, unsigned(DisplayWidth(d, DefaultScreen(d))), unsigned(DisplayHeight(d, DefaultScreen(d)))});
    return areas;
}

// Input in the shell's terms; system keys as the SDL backend tells them.
static PlatformEvent Translate(XEvent& e)
{
    PlatformEvent p = {EventNone, ButtonOther, 0, 0};
    const unsigned button = e.type == ButtonPress ? e.xbutton.button : 0;
    if (e.type == KeyPress) {
        const KeySym key = XLookupKeysym(&e.xkey, 0);
        const bool system = key == XK_F10 || key == XK_Alt_L || key == XK_Alt_R || (e.xkey.state & Mod1Mask);
        p.Kind = system ? EventSystemKey : EventKey;
    } else if (e.type == ButtonPress) {
        p.Kind = button >= 4 && button <= 7 ? EventWheel : EventButton;
        p.Button = button == 1 ? ButtonLeft : button == 2 ? ButtonMiddle : button == 3 ? ButtonRight : ButtonOther;
    } else if (e.type == MotionNotify) {
        p = {EventMouseMove, ButtonOther, e.xmotion.x_root, e.xmotion.y_root};
    }
    return p;
}

static bool Finish(short)
{
    // A lost server ends this process in the I/O error handler.
    while (XPending(X.Conn)) {
        XEvent e;
        XNextEvent(X.Conn, &e);
        X.InputEnded |= InputEnds(Translate(e), MoveFromRest, &X.Rest, &X.RestKnown);
    }
    return true;
}

static void Close()
{
    if (!X.Conn)
        return;
    for (uint32_t w : X.Windows)
        XDestroyWindow(X.Conn, w);
    // Back to the window that had it, if that is still there (errors are ignored now).
    if (!X.Windows.empty())
        XSetInputFocus(X.Conn, X.Focus, X.FocusRevert, CurrentTime);
    if (X.Invisible)
        XFreeCursor(X.Conn, X.Invisible);
    XCloseDisplay(X.Conn);
    X = {};
}

static bool Open(uint32_t, std::string* error)
{
    std::string places;
    const char* name = std::getenv("DISPLAY");
    if ((X.Hack = FindHack(&places)).empty()) {
        *error = "glyphfall-xscreensaver, which shows the scenes on X11, is not at " + places;
        return false;
    }
    if (!(X.Conn = XOpenDisplay(nullptr))) {
        *error = std::string("cannot open the display DISPLAY=") + (name ? name : "");
        return false;
    }
    XSetErrorHandler([](Display*, XErrorEvent*) { return X.Refused = true, 0; });
    XSetIOErrorHandler([](Display*) -> int { PlatformExitLostDisplay("X server"); });
    Display* d = X.Conn;
    const Window root = DefaultRootWindow(d);
    Window child;
    int x, y;
    unsigned mask;
    X.RestKnown = XQueryPointer(d, root, &child, &child, &X.Rest.X, &X.Rest.Y, &x, &y, &mask);
    char nothing = 0;
    const Pixmap blank = XCreateBitmapFromData(d, root, &nothing, 1, 1);
    XColor black = {};
    X.Invisible = XCreatePixmapCursor(d, blank, blank, &black, &black, 0, 0);
    XFreePixmap(d, blank);
    XSetWindowAttributes a = {};
    a.background_pixel = BlackPixel(d, DefaultScreen(d));
    a.override_redirect = True;
    a.cursor = X.Invisible;
    a.event_mask = KeyPressMask | ButtonPressMask | PointerMotionMask;
    for (const Area& m : Monitors(d)) {
        const Window w = XCreateWindow(d, root, m.Left, m.Top, m.Width, m.Height, 0, CopyFromParent, InputOutput,
                                       CopyFromParent, CWBackPixel | CWOverrideRedirect | CWCursor | CWEventMask, &a);
        XStoreName(d, w, "glyphfall-saver");
        XMapRaised(d, w);
        X.Windows.push_back(uint32_t(w));
    }
    XGetInputFocus(d, &X.Focus, &X.FocusRevert);
    XSetInputFocus(d, X.Windows[0], RevertToParent, CurrentTime);
    XSync(d, False);
    if (X.Refused) {
        *error = "the X server refused the saver's windows";
        Close();
        return false;
    }
    Finish(0);
    return true;
}

static int Prepare(short* events)
{
    XFlush(X.Conn);
    *events = POLLIN;
    return ConnectionNumber(X.Conn);
}

static const std::vector<uint32_t>& Outputs()
{
    return X.Windows;
}

static bool TakeNews(bool* idle)
{
    *idle = false;
    return std::exchange(X.InputEnded, false);
}

static std::vector<std::string> SceneCommand(uint32_t window, const SaverArgs& args, char**)
{
    std::vector<std::string> command = {X.Hack, X.Hack, "--window-id", std::to_string(window), "--delay",
                                        std::to_string(args.Delay)};
    if (args.Fps)
        command.push_back("--fps");
    return command;
}

const Desktop X11Desktop = {"X server", Open, Close, Prepare, Finish, Outputs, TakeNews, SceneCommand};
