// The window procedure: any key (but system keys), a left or right click, or
// a move of the pointer by the program's rule asks for the shutdown; the shutdown
// stops the animation thread and leaves the message loop. A window that
// changes size reshapes the next scene.
#include <cstdlib>

#include "common/state.h"
#include "scene/scene.h"
#include "shell/shell.h"

CursorPoint LastCursor = {0, 0};
bool LastCursorKnown = false;
std::thread AnimationWorker;

static void Shutdown()
{
    RequestStop();
    // Joining, rather than pausing and hoping, guarantees the animation thread
    // has stopped touching the raster before anything is released.
    if (AnimationWorker.joinable())
        AnimationWorker.join();
    PlatformEndWindow(WindowClassName);
    PlatformPostEvent(EventQuit);
}

void WindowProc(const PlatformEvent& event)
{
    switch (event.Kind) {
    case EventCreate:
        PlatformHideCursor();
        // The baseline for mouse moves: the move the window system sends when
        // the window appears under a resting cursor must not end the program.
        LastCursorKnown = PlatformCursorPosition(&LastCursor.X, &LastCursor.Y);
        break;
    case EventKey:
        PlatformPostEvent(EventDestroy);
        break;
    case EventButton:
        if (event.Button == ButtonLeft || event.Button == ButtonRight)
            PlatformPostEvent(EventDestroy);
        break;
    case EventMouseMove: {
        // Without a position at creation (no global pointer, as on Wayland)
        // the first reported one is the baseline: the cursor may rest anywhere.
        const int32_t limit = ThisProgram.Moves == MoveFromRest ? WakeDistance : 3;
        if (LastCursorKnown && (std::abs(LastCursor.X - event.X) > limit || std::abs(LastCursor.Y - event.Y) > limit))
            PlatformPostEvent(EventDestroy);
        if (ThisProgram.Moves == MoveBetweenMoves || !LastCursorKnown)
            LastCursor = {event.X, event.Y};
        LastCursorKnown = true;
        break;
    }
    case EventResize: {
        // A window that changed size gets a picture of its new shape from
        // the next letter on.
        int32_t width, height;
        RasterShape(ThisProgram.Shape, event.X, event.Y, &width, &height);
        ReshapeAtNextScene(width, height);
        break;
    }
    case EventClose:
    case EventDestroy:
        Shutdown();
        break;
    default:
        // System keys, the middle button and the wheel do not end the program.
        break;
    }
}
