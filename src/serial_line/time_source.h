#pragma once

// Time as the program's logic sees it: a steady clock and one-shot timers, both handed in from
// outside, so that tests can drive time by hand. Standard C++ only.

#include <chrono>
#include <functional>
#include <memory>

namespace velnor {

class TimeSource {
  public:
    using Duration = std::chrono::milliseconds;

    // Calls its action once per start, on the program's thread, when its delay has passed.
    class Timer {
      public:
        virtual ~Timer() = default;
        // A call still pending is replaced by this one.
        virtual void start(Duration delay) = 0;
        // Cancels the pending call, if there is one.
        virtual void stop() = 0;
    };

    virtual ~TimeSource() = default;
    // Time since a fixed start; it never goes back.
    virtual Duration now() const = 0;
    // A stopped timer that calls `action`; destroying it cancels its pending call.
    virtual std::unique_ptr<Timer> createTimer(std::function<void()> action) = 0;
};

}  // namespace velnor
