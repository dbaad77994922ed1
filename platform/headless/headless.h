// The headless backend: no window, no display. It records what the core asks
// of the platform so that tests can check it, and its sleeps take no time, so
// a scene is built without the pauses.
#pragma once
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/display.h"
#include "platform/window.h"

struct HeadlessRecord {
    std::mutex Lock;                    // guards everything below: frames may come from any thread
    int Presents = 0;                   // PlatformPresent calls
    int32_t FrameWidth = 0;             // size of the last presented frame
    int32_t FrameHeight = 0;
    std::vector<uint8_t> LastFrame;     // its pixels, packed rows of FrameWidth * 3 bytes
    std::vector<EventKind> Posted;      // PlatformPostEvent calls, in order
    std::vector<std::string> Errors;    // PlatformShowError texts
    std::string Overlay;                // the last PlatformSetOverlay text
    int64_t Slept = 0;                  // microseconds PlatformSleep was asked for; it returns at once
    int64_t SleptAtPresent = 0;         // Slept when the last frame was presented
    std::function<void()> OnSleep;      // called after each PlatformSleep, outside the lock
};

extern HeadlessRecord Headless;

// Forgets everything recorded so far.
void HeadlessReset();
