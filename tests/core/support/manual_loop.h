#pragma once

#include <algorithm>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

#include "core/event_loop.h"

namespace velnor::test {

// The window's thread as a test drives it: posted work runs in runPosted(), time moves only in
// advance(), and each timer fires with the clock at its due time, which is `lateness` after the
// time asked for, as on a busy event loop. post() may be called from any thread.
class ManualLoop final : public EventLoop {
  public:
    explicit ManualLoop(Duration lateness = Duration::zero()) : lateness_(lateness) {}

    void post(std::function<void()> work) override {
        const std::lock_guard lock(mutex_);
        posted_.push_back(std::move(work));
    }
    Duration now() const override { return now_; }
    std::unique_ptr<Timer> createTimer(std::function<void()> action) override {
        return std::make_unique<ManualTimer>(*this, std::move(action));
    }

    // Runs the posted work in order, and the work that work posts, until none is left. Returns
    // how many pieces ran.
    int runPosted() {
        int ran = 0;
        while (std::optional<std::function<void()>> work = takePosted()) {
            (*work)();
            ++ran;
        }
        return ran;
    }
    // Work posted and not yet run.
    size_t pending() const {
        const std::lock_guard lock(mutex_);
        return posted_.size();
    }

    // Moves time on by `step` as a running loop would: posted work runs first, then each timer
    // that falls due on the way, the earliest first, with the work it posts after it.
    void advance(Duration step) {
        const Duration until = now_ + step;
        runPosted();
        for (;;) {
            const auto next = std::ranges::min_element(timers_, {}, [](const ManualTimer* timer) {
                return timer->due.value_or(Duration::max());
            });
            if (next == timers_.end() || !(*next)->due || *(*next)->due > until) break;
            now_ = *std::exchange((*next)->due, std::nullopt);
            (*next)->action();
            runPosted();
        }
        now_ = until;
    }

  private:
    struct ManualTimer final : Timer {
        ManualTimer(ManualLoop& loop, std::function<void()> action)
            : loop(loop), action(std::move(action)) {
            loop.timers_.push_back(this);
        }
        ~ManualTimer() override { std::erase(loop.timers_, this); }
        void start(Duration delay) override { due = loop.now_ + delay + loop.lateness_; }
        void stop() override { due.reset(); }

        ManualLoop& loop;
        std::function<void()> action;
        std::optional<Duration> due;
    };

    std::optional<std::function<void()>> takePosted() {
        const std::lock_guard lock(mutex_);
        if (posted_.empty()) return std::nullopt;
        std::function<void()> work = std::move(posted_.front());
        posted_.pop_front();
        return work;
    }

    const Duration lateness_;
    Duration now_{0};
    std::vector<ManualTimer*> timers_;
    mutable std::mutex mutex_;
    std::deque<std::function<void()>> posted_;
};

}  // namespace velnor::test
