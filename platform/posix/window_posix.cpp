// What the POSIX window backends share: the event queue and its wake-up
// pipe (a byte 0 for a posted event, 1 for a frame, read back after the
// poll), and the window.h answers that are the same for them.
#include "platform/posix/window_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/display.h"
#include "platform/frame_pump.h"
#include "platform/process.h"

static struct {
    int Pipe[2] = {-1, -1};            // read end polled by the main thread, write end for any thread
    std::mutex Lock;                   // guards Events
    std::deque<PlatformEvent> Events;  // translated or posted, not yet taken
} Queue;

bool EventQueueOpen()
{
    return pipe2(Queue.Pipe, O_CLOEXEC | O_NONBLOCK) == 0;
}

void EventQueueClose()
{
    for (int& fd : Queue.Pipe) {
        if (fd >= 0)
            close(fd);
        fd = -1;
    }
    std::lock_guard<std::mutex> lock(Queue.Lock);
    Queue.Events.clear();
}

int EventQueueFd()
{
    return Queue.Pipe[0];
}

void EventQueuePush(EventKind kind, int32_t x, int32_t y, MouseButton button)
{
    std::lock_guard<std::mutex> lock(Queue.Lock);
    Queue.Events.push_back(PlatformEvent{kind, button, x, y});
}

static bool Wake(char byte)
{
    return Queue.Pipe[1] >= 0 && write(Queue.Pipe[1], &byte, 1) == 1;
}

void PlatformPostEvent(EventKind kind)
{
    EventQueuePush(kind);
    // A full pipe already holds a wake-up.
    Wake(0);
}

bool PlatformCursorPosition(int32_t* x, int32_t* y)
{
    *x = *y = 0;
    return false;
}

void PlatformEndWindow(const char*) {}

void PlatformShowError(const char* title, const char* text)
{
    std::fprintf(stderr, "%s: %s: %s\n", PlatformProgramName(), title, text);
}

bool EventQueueWakeForFrame()
{
    return Wake(1);
}

void EventQueueDrain()
{
    char bytes[64];
    ssize_t n;
    bool frame = false;
    while ((n = read(Queue.Pipe[0], bytes, sizeof bytes)) > 0)
        frame = frame || std::find(bytes, bytes + n, 1) != bytes + n;
    if (frame)
        PumpWoken();
}

bool EventQueueTake(PlatformEvent* event)
{
    std::lock_guard<std::mutex> lock(Queue.Lock);
    if (Queue.Events.empty())
        return false;
    *event = Queue.Events.front();
    Queue.Events.pop_front();
    return true;
}

bool EventQueueWaiting()
{
    std::lock_guard<std::mutex> lock(Queue.Lock);
    return !Queue.Events.empty();
}

void PlatformSleep(int64_t microseconds)
{
    std::this_thread::sleep_for(std::chrono::microseconds(microseconds));
}
