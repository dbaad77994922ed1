// Headless backend: the window calls do nothing visible; presented frames,
// posted events, errors and sleeps are recorded in Headless.
#include <cstdio>
#include <cstring>

#include "platform/headless/headless.h"

HeadlessRecord Headless;

void HeadlessReset()
{
    std::lock_guard<std::mutex> lock(Headless.Lock);
    Headless.Presents = 0;
    Headless.FrameWidth = Headless.FrameHeight = 0;
    Headless.LastFrame.clear();
    Headless.Posted.clear();
    Headless.Errors.clear();
    Headless.Overlay.clear();
    Headless.Slept = Headless.SleptAtPresent = 0;
    Headless.OnSleep = nullptr;
}

bool PlatformOpenWindow(const WindowPlace&, const char*, int32_t* width, int32_t* height, std::string*)
{
    *width = 1920;
    *height = 1080;
    return true;
}

void PlatformCloseWindow() {}
void PlatformEndWindow(const char*) {}
int PlatformScreenDpi() { return 96; }
void PlatformHideCursor() {}

void PlatformSleep(int64_t microseconds)
{
    std::function<void()> onSleep;
    {
        std::lock_guard<std::mutex> lock(Headless.Lock);
        Headless.Slept += microseconds;
        onSleep = Headless.OnSleep;
    }
    if (onSleep)
        onSleep();
}

bool PlatformCursorPosition(int32_t* x, int32_t* y)
{
    *x = 0;
    *y = 0;
    return true;
}

bool PlatformGetEvent(PlatformEvent* event)
{
    std::lock_guard<std::mutex> lock(Headless.Lock);
    *event = PlatformEvent{EventNone, ButtonOther, 0, 0};
    for (EventKind k : Headless.Posted)
        if (k == EventQuit)
            return false;
    return true;
}

void PlatformPostEvent(EventKind kind)
{
    std::lock_guard<std::mutex> lock(Headless.Lock);
    Headless.Posted.push_back(kind);
}

void PlatformPresent(uint8_t* const* rows, int32_t width, int32_t height)
{
    std::lock_guard<std::mutex> lock(Headless.Lock);
    ++Headless.Presents;
    Headless.SleptAtPresent = Headless.Slept;
    Headless.FrameWidth = width;
    Headless.FrameHeight = height;
    Headless.LastFrame.resize(size_t(width) * 3 * size_t(height));
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(Headless.LastFrame.data() + size_t(y) * size_t(width) * 3, rows[y], size_t(width) * 3);
}

void PlatformSetOverlay(const std::string& text)
{
    std::lock_guard<std::mutex> lock(Headless.Lock);
    Headless.Overlay = text;
}

void PlatformShowError(const char* title, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", title, text);
    std::lock_guard<std::mutex> lock(Headless.Lock);
    Headless.Errors.push_back(text);
}
