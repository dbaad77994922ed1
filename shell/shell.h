// The application shell every program shares: start-up, the message loop,
// the window procedure that turns user input into the end of the program,
// and the shutdown. A program states only how it differs, in a Program.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "platform/window.h"

// The window's class, where the platform registers classes.
constexpr const char* WindowClassName = "MyWKlass";

// How the raster is shaped for the window.
enum ShapeRule {
    ShapeOfScreen,   // the screen's: Round(150 * width / height) columns; none possible: the error box
    ShapeFitted,     // the window's, but never wider than 32:9, stretched over it; a window too narrow
                     // for any raster: a 1920x1080 screen's, squeezed in
};

// Which move of the pointer ends the program.
enum MoveRule {
    MoveBetweenMoves,   // more than 3 pixels on either axis between two moves (glyphfall)
    MoveFromRest,       // more than WakeDistance pixels on either axis from where the pointer rested
                        // when the window appeared (the screen savers)
};

// A screen saver wakes once the pointer is this many pixels from where it
// rested: a gentle nudge of a real mouse, which arrives as many small steps,
// gets there within a few of them, while a desk's tremor or a sensor's
// jitter of a pixel or two does not.
constexpr int32_t WakeDistance = 10;

// What makes one program differ from the others.
struct Program {
    const char* Name = "glyphfall";        // the start of its messages
    WindowPlace Place;                     // where its window goes
    ShapeRule Shape = ShapeOfScreen;
    MoveRule Moves = MoveBetweenMoves;
    bool FirstSceneOnMainThread = true;    // built before the loop, input waiting meanwhile; else on the
                                           // animation thread while the loop serves the window
    uint32_t Delay = 0;                    // microseconds between animation steps; 0: back to back
    bool ShowStepRate = false;             // the steps-per-second line over the picture
    uint32_t SeedOffset = 0;               // added to the clock's seed, so copies started at once differ
};

// The screen savers' choices: a picture for any window's shape, the wake
// rule from rest, every scene built on the animation thread while the loop
// serves the window, delay microseconds between steps.
inline Program ScreenSaver(const char* name, uint32_t delay, bool showStepRate)
{
    Program saver;
    saver.Name = name;
    saver.Shape = ShapeFitted;
    saver.Moves = MoveFromRest;
    saver.FirstSceneOnMainThread = false;
    saver.Delay = delay;
    saver.ShowStepRate = showStepRate;
    return saver;
}

struct CursorPoint {
    int32_t X, Y;
};

extern Program ThisProgram;                  // the program running, as StartUp was given it
extern CursorPoint LastCursor;               // cursor position at the last mouse move (or at creation);
                                             // with MoveFromRest, where it rested
extern bool LastCursorKnown;                 // false until the platform has told a position
extern std::thread AnimationWorker;          // the animation thread, joined at shutdown
extern std::atomic<bool> StopSignalled;      // set by SIGINT/SIGTERM; the loop turns it into a destroy

// Handles one event of the window.
void WindowProc(const PlatformEvent& event);

// Whether input ends a program whose moves follow rule: any key but system
// keys, a left or right click, a move by the rule. *last is the pointer's
// baseline (where it rested, or its last move), *known whether there is one
// yet; a move updates both as the rule says. Also for a window system's
// input that reaches no window procedure (glyphfall-saver's on X11).
bool InputEnds(const PlatformEvent& event, MoveRule rule, CursorPoint* last, bool* known);

// The program from its window to its end: returns its exit code.
int StartUp(const Program& program);

// The raster's shape for a window of width x height under rule.
void RasterShape(ShapeRule rule, int32_t width, int32_t height, int32_t* shapeWidth, int32_t* shapeHeight);

// What start-up makes for the scenes, once the screen's size and DPI are
// known (ScreenWidth, ScreenHeight, ScreenDpi): the raster by the program's
// shape rule, the seeded generator, the letter font. Tools without a window
// call it too. On failure nothing stays made and error says why.
enum SetUpResult { SetUpDone, SetUpNoRaster, SetUpNoFont };
SetUpResult SetUpScenes(const Program& program, std::string* error);

// Releases what SetUpScenes made, and the scene's blocks.
void ReleaseScenes();
