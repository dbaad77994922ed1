// The program's window and its input, translated by each backend (SDL, the
// X11 windows of XScreenSaver, Win32, headless) into the program's own events
// for the one shared window procedure.
#pragma once
#include <cstdint>
#include <string>

// Where the window goes. Each backend serves the kinds its programs use and
// refuses the others with a sentence.
enum PlaceKind {
    PlaceFullScreen,   // a top-most borderless window over the primary screen
    PlaceMonitor,      // a top-most pop-up over the rectangle Left, Top, Right, Bottom
    PlacePreview,      // a child filling the window Handle; reads no input, ends with it
    PlaceGiven,        // the existing window Handle (XScreenSaver's); reads no input
    PlaceRoot,         // the (virtual) root window; reads no input
    PlaceOwn,          // a window of its own, half the screen, for trying it out
    PlaceOutput,       // a top-most surface over the whole output Handle names (on Wayland, the
                       // output's registry name); reads input
};

struct WindowPlace {
    PlaceKind Kind = PlaceFullScreen;
    uint64_t Handle = 0;                          // PlacePreview, PlaceGiven, PlaceOutput
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;   // PlaceMonitor, in screen coordinates
};

// Input and requests, already translated into the program's own terms.
enum EventKind {
    EventNone,        // nothing happened within the wait's time slice
    EventCreate,      // the window has just been created (sent by the shell itself)
    EventKey,         // an ordinary key went down
    EventSystemKey,   // Alt, F10 or a key pressed with Alt held
    EventButton,      // a mouse button went down (Button says which)
    EventWheel,       // the wheel turned
    EventMouseMove,   // the cursor moved; X, Y in screen coordinates
    EventResize,      // the window's size changed; X, Y are its new width and height
    EventClose,       // the window system asks the program to close, or the window has gone
    EventDestroy,     // posted by the program itself: shut down
    EventQuit,        // posted by the program itself: leave the message loop
};

enum MouseButton { ButtonLeft, ButtonMiddle, ButtonRight, ButtonOther };

struct PlatformEvent {
    EventKind Kind;
    MouseButton Button;   // EventButton only
    int32_t X, Y;         // EventMouseMove: the position; EventResize: the size
};

// Opens the window at place; its class is className where the platform has
// such a thing. Sets the window's size. Returns false with a sentence in
// error when no display or window can be used.
bool PlatformOpenWindow(const WindowPlace& place, const char* className, int32_t* width, int32_t* height,
                        std::string* error);

// Closes the window and the connection to the display. Safe when none is open.
void PlatformCloseWindow();

void PlatformHideCursor();
// The cursor's position on the screen; false (and 0, 0) where the platform
// cannot tell, as on Wayland, which gives positions only inside the window.
bool PlatformCursorPosition(int32_t* x, int32_t* y);

// Waits for the next event, presenting handed-over frames meanwhile. Returns
// EventNone after a short time slice so that the caller can look at its own
// flags; returns false once EventQuit is taken from the queue.
bool PlatformGetEvent(PlatformEvent* event);

// Queues EventDestroy for the main thread (any thread), or EventQuit (main
// thread: on Win32 the quit belongs to the calling thread's queue).
void PlatformPostEvent(EventKind kind);

// The platform's part of the shutdown, once the animation thread has
// stopped and before the quit is posted. Win32: the window class is
// unregistered and every window on the desktop asked to repaint over the
// last frame, without erasing. Where windows are not repainted by request
// nor classes registered (SDL and X11: the compositor or X server repaints
// when the window goes; headless) it does nothing.
void PlatformEndWindow(const char* className);

// A line of text over the picture's bottom-left corner ("" for none), from
// the next picture on. Main thread. Windows without one ignore it.
void PlatformSetOverlay(const std::string& text);

// A modal error box where the platform can show one; always also on stderr
// where the program has one.
void PlatformShowError(const char* title, const char* text);
