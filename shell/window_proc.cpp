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

bool InputEnds(const PlatformEvent& event, MoveRule rule, CursorPoint* last, bool* known)
{
    switch (event.Kind) {
    case EventKey:
        return true;
    case EventButton:
        return event.Button == ButtonLeft || event.Button == ButtonRight;
    case EventMouseMove: {
        // Without a position at creation (no global pointer, as on Wayland)
        // the first reported one is the baseline: the cursor may rest anywhere.
        const int32_t limit = rule == MoveFromRest ? WakeDistance : 3;
        const bool ends = *known && (std::abs(last->X - event.X) > limit || std::abs(last->Y - event.Y) > limit);
        if (rule == MoveBetweenMoves || !*known)
            *last = {event.X, event.Y};
        *known = true;
        return ends;
    }
    default:
        // System keys, the middle button and the wheel do not end the program.
        return false;
    }
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
    case EventSystemKey:
    case EventButton:
    case EventWheel:
    case EventMouseMove:
        if (InputEnds(event, ThisProgram.Moves, &LastCursor, &LastCursorKnown))
            PlatformPostEvent(EventDestroy);
        break;
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
        break;
    }
}
