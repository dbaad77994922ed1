// The one-frame hand-off from the thread that renders to the main thread that
// shows, and the pacing of what is shown, shared by every backend that
// presents frames. The renderer copies its raster in, replacing a frame not
// yet taken, so it never waits for the display; the main thread takes the
// newest frame out when it is due and waits for its events meanwhile.
#pragma once
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

struct FrameSlot {
    std::mutex Lock;                 // guards everything below
    std::vector<uint8_t> Pending;    // the newest frame, packed rows of 3 * Width bytes
    int32_t Width = 0, Height = 0;   // its size in raster pixels
    bool Fresh = false;              // not yet taken by the main thread
};

// A frame taken out of the slot, owned by the main thread.
struct ShownFrame {
    std::vector<uint8_t> Pixels;     // packed rows of 3 * Width bytes
    int32_t Width = 0, Height = 0;
};

// Copies height rows of width raster pixels into the slot. Any thread.
inline void PutFrame(FrameSlot* slot, const uint8_t* const* rows, int32_t width, int32_t height)
{
    std::lock_guard<std::mutex> lock(slot->Lock);
    const size_t rowBytes = size_t(width) * 3;
    slot->Pending.resize(rowBytes * size_t(height));
    for (int32_t y = 0; y < height; ++y)
        std::memcpy(slot->Pending.data() + rowBytes * size_t(y), rows[y], rowBytes);
    slot->Width = width;
    slot->Height = height;
    slot->Fresh = true;
}

// Swaps the newest frame into *frame; false (and *frame unchanged) when no
// frame came since the last one taken. The swap, not a copy, keeps the
// hand-off at one copy per frame. Main thread.
inline bool TakeFrame(FrameSlot* slot, ShownFrame* frame)
{
    std::lock_guard<std::mutex> lock(slot->Lock);
    if (!slot->Fresh)
        return false;
    std::swap(slot->Pending, frame->Pixels);
    frame->Width = slot->Width;
    frame->Height = slot->Height;
    slot->Fresh = false;
    return true;
}

// The frame's row starts, as the scaler takes them.
inline std::vector<const uint8_t*> FrameRows(const ShownFrame& frame)
{
    std::vector<const uint8_t*> rows(size_t(frame.Height));
    for (int32_t y = 0; y < frame.Height; ++y)
        rows[size_t(y)] = frame.Pixels.data() + size_t(y) * size_t(frame.Width) * 3;
    return rows;
}

// True when a frame may be shown: one refresh interval after the last.
inline bool FrameDue(std::chrono::steady_clock::time_point now, std::chrono::steady_clock::time_point lastShown,
                     std::chrono::steady_clock::duration interval)
{
    return now >= lastShown + interval;
}

// How long the main thread may wait for events: the whole slice, or, while
// a frame waits, until that frame is due; never less than zero, so a frame
// that fell due before now was read never turns into an endless wait.
inline std::chrono::milliseconds FrameWait(std::chrono::steady_clock::time_point now,
                                           std::chrono::steady_clock::time_point lastShown,
                                           std::chrono::steady_clock::duration interval, bool frameWaiting,
                                           std::chrono::milliseconds slice)
{
    using namespace std::chrono;
    if (!frameWaiting)
        return slice;
    // Rounded up: waking a little late shows the frame; early would spin.
    const auto due = ceil<milliseconds>(lastShown + interval - now);
    return std::clamp(due, milliseconds(0), slice);
}
