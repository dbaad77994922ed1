// Program-wide state shared by the shell, the scene cycle and the animation
// thread. The two flags are the only hand-off between the threads: whoever
// sets Animating to true passes the raster and the BlockList to the animation
// thread (release), and the animation thread gives them back by leaving its
// loop, which the main thread joins.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>

extern std::atomic<bool> Running;          // false once the program is asked to stop
extern std::atomic<bool> Animating;        // true while the animation thread owns the scene
extern std::atomic<int64_t> SceneStart;    // counter value when the current scene began animating
extern std::atomic<uint64_t> StepCount;    // animation steps so far, for the steps-per-second line

extern int32_t ScreenWidth;                // the window's size in pixels when it opened, then the shape
extern int32_t ScreenHeight;               // the raster was last made for
extern int ScreenDpi;                      // logical pixels per inch used for the letter's em

// High-resolution counter: ticks since an arbitrary start, and ticks per second.
int64_t CounterNow();
int64_t CounterFrequency();

// Sleeps for length, in the platform's slices of at most 5 ms, and ends
// within one slice of a stop request. Returns false when a stop cut it short
// or had already been made. The one way the program waits for time to pass.
bool Pause(std::chrono::microseconds length);

// The stop request: Animating off first, then Running, so that the animation
// thread leaves its inner loop and then its outer loop; then Animating off
// once more, so that a scene finishing concurrently cannot leave it on. Safe
// to call from a signal handler (lock-free atomic stores only).
void RequestStop();
