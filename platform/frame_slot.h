// The one-frame hand-off from the thread that renders to the main thread that
// shows, shared by the SDL and the hack's Xlib backends. The renderer copies
// its raster in, replacing a frame not yet taken, so it never waits for the
// display; the main thread swaps the newest frame out under Lock.
#pragma once
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
