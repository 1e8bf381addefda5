#pragma once

// The window's thread as the program's logic sees it: work handed to it from any thread, a steady
// clock and one-shot timers. Handed in from outside, so that tests drive time by hand.

#include <chrono>
#include <functional>
#include <memory>

namespace velnor {

class EventLoop {
  public:
    using Duration = std::chrono::milliseconds;

    // Calls its action once per start, on the window's thread, when its delay has passed.
    class Timer {
      public:
        virtual ~Timer() = default;
        // A call still pending is replaced by this one.
        virtual void start(Duration delay) = 0;
        // Cancels the pending call, if there is one.
        virtual void stop() = 0;
    };

    virtual ~EventLoop() = default;
    // Runs `work` on the window's thread after the events before it; callable from any thread.
    virtual void post(std::function<void()> work) = 0;
    // Time since a fixed start; it never goes back.
    virtual Duration now() const = 0;
    // A stopped timer that calls `action`; destroying it cancels its pending call.
    virtual std::unique_ptr<Timer> createTimer(std::function<void()> action) = 0;
};

}  // namespace velnor
