// What the portable core and the shell need from a platform. One backend is
// linked in at build time: platform/sdl (the desktop program) or
// platform/headless (tests and glyphfall-render). The letter font is shared
// by both and lives in platform/font_freetype.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// ---- Window and input (SDL backend; the headless one records) ----------

// Input and requests, already translated into the program's own terms.
enum EventKind {
    EventNone,        // nothing happened within the wait's time slice
    EventCreate,      // the window has just been created (sent by the shell itself)
    EventKey,         // an ordinary key went down
    EventSystemKey,   // Alt, F10 or a key pressed with Alt held
    EventButton,      // a mouse button went down (Button says which)
    EventWheel,       // the wheel turned
    EventMouseMove,   // the cursor moved; X, Y in screen coordinates
    EventClose,       // the window system or a signal asks the program to close
    EventDestroy,     // posted by the program itself: shut down
    EventQuit,        // posted by the program itself: leave the message loop
};

enum MouseButton { ButtonLeft, ButtonMiddle, ButtonRight, ButtonOther };

struct PlatformEvent {
    EventKind Kind;
    MouseButton Button;   // EventButton only
    int32_t X, Y;         // EventMouseMove only
};

// Opens the full-screen, top-most, borderless window on the primary screen.
// The window's class is className where the platform has such a thing.
// Returns false with a sentence in error when no display can be used.
bool PlatformOpenWindow(const char* className, int32_t* width, int32_t* height, std::string* error);

// Closes the window and the connection to the display. Safe when none is open.
void PlatformCloseWindow();

// The desktop's logical DPI for fonts (96 when the desktop sets none).
int PlatformScreenDpi();

void PlatformHideCursor();
// The cursor's position on the screen; false (and 0, 0) where the platform
// cannot tell, as on Wayland, which gives positions only inside the window.
bool PlatformCursorPosition(int32_t* x, int32_t* y);

// Waits for the next event, presenting handed-over frames meanwhile. Returns
// EventNone after a short time slice so that the caller can look at its own
// flags; returns false once EventQuit is taken from the queue.
bool PlatformGetEvent(PlatformEvent* event);

// Queues EventDestroy or EventQuit for the main thread. Any thread.
void PlatformPostEvent(EventKind kind);

// Shows the raster, enlarged over the whole window. From the main thread the
// picture is drawn at once; from any other thread the frame is handed over to
// the main thread and the call returns without waiting for the display.
void PlatformPresent(uint8_t* const* rows, int32_t width, int32_t height);

// Sleeps about ms milliseconds: the slices the scene pauses are made of.
void PlatformSleep(int ms);

// A modal error box where the platform can show one; always also on stderr.
void PlatformShowError(const char* title, const char* text);

// ---- Letter font (FreeType and fontconfig) ------------------------------

// A rendered glyph: coverage from 0 (none) to 255 (full ink), either one
// value per pixel (Channels 1) or, with sub-pixel smoothing, three per pixel
// in blue, green, red order (Channels 3).
struct GlyphImage {
    int32_t Width, Height;    // in pixels
    int32_t Left;             // columns from the cell's left edge to the image's
    int32_t Top;              // rows from the cell's top edge to the image's
    int32_t Advance;          // the cell's width
    int32_t CellHeight;       // the cell's height: ascent + descent
    int Channels;
    const uint8_t* Coverage;  // Height rows of Width * Channels bytes; valid until the next call
};

// Finds the installed face nearest to face that has every character of
// [first, last], and sets it to an em of emPixels pixels. Returns false with
// a sentence naming what was searched for when there is none.
bool PlatformOpenFont(const char* face, int emPixels, uint32_t first, uint32_t last, std::string* error);

// Renders one character of the open font. Returns false when no font is open
// or the font cannot render it.
bool PlatformRenderGlyph(uint32_t codePoint, GlyphImage* image);

void PlatformCloseFont();

// ---- A window for the screen-saver hack (platform/x11; headless stubs) ---

// Where the hack draws.
enum HackWindowKind {
    HackWindowGiven,   // an existing window, by id (XScreenSaver's own window or a preview)
    HackWindowRoot,    // the (virtual) root window
    HackWindowOwn,     // a window of the hack's own, for trying it out
};

// Connects to the display and takes the window. Listens only for its size
// changes and its end: no input is selected and nothing is grabbed. Sets
// the window's size. Returns false with a sentence when the display or the
// window cannot be used.
bool PlatformOpenHackWindow(HackWindowKind kind, unsigned long id, int32_t* width, int32_t* height,
                            std::string* error);

// Serves the window for up to ms milliseconds on the main thread: shows the
// newest frame handed over by PlatformPresent (at most about 60 a second),
// keeps *width and *height up to date. Returns false once the window is gone
// (destroyed, or its own window closed).
bool PlatformServeHackWindow(int ms, int32_t* width, int32_t* height);

// A line of text shown over the picture's bottom-left corner ("" for none).
void PlatformSetHackOverlay(const std::string& text);

// Lets go of the window and the display. Safe when none is open.
void PlatformCloseHackWindow();
