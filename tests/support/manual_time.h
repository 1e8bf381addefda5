#pragma once

#include <algorithm>
#include <optional>
#include <vector>

#include "serial_line/time_source.h"

namespace velnor::test {

// Time that moves only when the test moves it; timers fire inside advance(), each at its due time,
// which is `lateness` after the time asked for, as on a busy event loop.
class ManualTime final : public TimeSource {
  public:
    explicit ManualTime(Duration lateness = Duration::zero()) : lateness_(lateness) {}

    Duration now() const override { return now_; }

    std::unique_ptr<Timer> createTimer(std::function<void()> action) override {
        return std::make_unique<ManualTimer>(*this, std::move(action));
    }

    // Moves time on by `step`; each timer that falls due on the way fires with the clock at its
    // due time, the earliest first.
    void advance(Duration step) {
        const Duration until = now_ + step;
        for (;;) {
            const auto next = std::ranges::min_element(timers_, {}, [](const ManualTimer* timer) {
                return timer->due.value_or(Duration::max());
            });
            if (next == timers_.end() || !(*next)->due || *(*next)->due > until) break;
            now_ = *std::exchange((*next)->due, std::nullopt);
            (*next)->action();
        }
        now_ = until;
    }

  private:
    struct ManualTimer final : Timer {
        ManualTimer(ManualTime& time, std::function<void()> action)
            : time(time), action(std::move(action)) {
            time.timers_.push_back(this);
        }
        ~ManualTimer() override { std::erase(time.timers_, this); }
        void start(Duration delay) override { due = time.now_ + delay + time.lateness_; }
        void stop() override { due.reset(); }

        ManualTime& time;
        std::function<void()> action;
        std::optional<Duration> due;
    };

    const Duration lateness_;
    Duration now_{0};
    std::vector<ManualTimer*> timers_;
};

}  // namespace velnor::test
