// The shell's own choices on the headless backend: the steps-per-second line.
#include <chrono>
#include <thread>

#include "tests/test_util.h"
#include "shell/shell.h"

// The letter's second passes in real time here; the line must not show the
// still letter as a rate, then shows the motion's.
TEST(StepRate, NoneUntilASecondOfStepsIsMeasured)
{
    HeadlessReset();
    Headless.OnSleep = [] { std::this_thread::sleep_for(std::chrono::milliseconds(5)); };
    std::string early, late;
    std::thread watcher([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        std::lock_guard<std::mutex> lock(Headless.Lock);
        early = Headless.Overlay;
    });
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
        {
            std::lock_guard<std::mutex> lock(Headless.Lock);
            late = Headless.Overlay;
        }
        PlatformPostEvent(EventQuit);
    });
    EXPECT_EQ(StartUp(ScreenSaver("glyphfall-test", 1000, true)), 0);
    watcher.join();
    stopper.join();
    HeadlessReset();
    EXPECT_EQ(early, "") << "a rate before the first second of motion";
    EXPECT_NE(late.find(" steps/s"), std::string::npos) << late;
    EXPECT_NE(late.rfind("0.0 steps/s", 0), 0u) << late;
}
