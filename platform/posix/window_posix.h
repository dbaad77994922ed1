// What the POSIX window backends that own no desktop-wide pointer or error
// box (the X11 hack's, Wayland's) share: the queue of translated events and
// the wake-up pipe they poll beside their display connection, so that events
// and frames handed over from any thread wake the main thread's wait; and
// window.h's PlatformPostEvent, PlatformCursorPosition (none),
// PlatformEndWindow (nothing to do) and PlatformShowError (stderr), and
// display.h's PlatformSleep, defined in window_posix.cpp. A backend answers BackendWake with
// EventQueueWakeForFrame.
#pragma once
#include "platform/window.h"

// Makes the pipe; false when the system refuses one.
bool EventQueueOpen();

// Closes the pipe and forgets queued events. Safe to repeat.
void EventQueueClose();

// The pipe's end to poll for POLLIN.
int EventQueueFd();

// Queues an event. Any thread.
void EventQueuePush(EventKind kind, int32_t x = 0, int32_t y = 0, MouseButton button = ButtonOther);

// Wakes the main thread's wait for the frame pump (BackendWake); false when
// the wake-up could not be sent. Any thread.
bool EventQueueWakeForFrame();

// After the wait: empties the pipe and tells the frame pump when a frame
// woke it. Main thread.
void EventQueueDrain();

// Takes the oldest queued event; false when there is none.
bool EventQueueTake(PlatformEvent* event);

// True when an event waits.
bool EventQueueWaiting();
