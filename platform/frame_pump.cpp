// The frame pump: the hand-off from the animation thread and the pacing of
// what the main thread shows, for every backend with a window.
#include "platform/frame_pump.h"

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/display.h"
#include "platform/frame_slot.h"

using Clock = std::chrono::steady_clock;

static struct {
    std::atomic<bool> Open{false};          // frames are taken while the window is open
    std::thread::id MainThread;             // the thread that owns the window
    Clock::duration RefreshInterval = std::chrono::microseconds(16667);
    Clock::time_point LastShown;            // when a picture last went to the window
    FrameSlot Slot;                         // the animation thread's newest frame
    ShownFrame Shown;                       // main thread: the frame taken last
    std::atomic<bool> WakePosted{false};    // a wake-up is on its way or the slot not yet taken
    bool FrameWaiting = false;              // main thread: a woken frame not yet shown
} Pump;

void PumpStart(int refreshHz)
{
    Pump.MainThread = std::this_thread::get_id();
    Pump.RefreshInterval = std::chrono::microseconds(1000000 / (refreshHz > 1 ? refreshHz : 60));
    Pump.Open.store(true);
}

void PumpStop()
{
    Pump.Open.store(false);
}

void PumpWoken()
{
    Pump.FrameWaiting = true;
}

static void Show(const uint8_t* const* rows, int32_t width, int32_t height)
{
    if (BackendShowRows(rows, width, height))
        Pump.LastShown = Clock::now();
}

void PumpShowAgain()
{
    if (Pump.Shown.Width > 0)
        Show(FrameRows(Pump.Shown).data(), Pump.Shown.Width, Pump.Shown.Height);
}

static void ShowWaitingFrame()
{
    Pump.FrameWaiting = false;
    // Cleared before the frame is taken, not when the wake-up arrives: frames
    // handed over meanwhile ride on the wake-up already sent, so the main
    // thread wakes once per frame shown, not once per frame rendered. A frame
    // handed over after the take finds the flag clear and wakes us again.
    Pump.WakePosted.store(false);
    if (TakeFrame(&Pump.Slot, &Pump.Shown))
        PumpShowAgain();
}

void PlatformPresent(uint8_t* const* rows, int32_t width, int32_t height)
{
    if (!Pump.Open.load())
        return;
    if (std::this_thread::get_id() == Pump.MainThread) {
        // Kept as the frame on show, so that a resize or an expose can repaint it.
        PutFrame(&Pump.Slot, rows, width, height);
        TakeFrame(&Pump.Slot, &Pump.Shown);
        PumpShowAgain();
        return;
    }
    PutFrame(&Pump.Slot, rows, width, height);
    // A refused wake-up must not leave the flag set, or no later frame would
    // ever wake the main thread again.
    if (!Pump.WakePosted.exchange(true) && !BackendWake())
        Pump.WakePosted.store(false);
}

bool PlatformGetEvent(PlatformEvent* event)
{
    using namespace std::chrono;
    *event = PlatformEvent{EventNone, ButtonOther, 0, 0};
    // A short slice, so that the caller sees its stop flag promptly; shorter
    // still while a frame waits for the next refresh.
    const auto wait = FrameWait(Clock::now(), Pump.LastShown, Pump.RefreshInterval, Pump.FrameWaiting,
                                milliseconds(10));
    const bool got = BackendWaitEvent(int(wait.count()), event);
    if (Pump.FrameWaiting && FrameDue(Clock::now(), Pump.LastShown, Pump.RefreshInterval))
        ShowWaitingFrame();
    return !(got && event->Kind == EventQuit);
}
