#pragma once

#include "serial_line/time_source.h"

namespace velnor {

// The steady clock, and timers of the Qt event loop of the calling thread, to the millisecond.
class QtTimeSource final : public TimeSource {
  public:
    Duration now() const override;
    std::unique_ptr<Timer> createTimer(std::function<void()> action) override;
};

}  // namespace velnor
