#pragma once

#include <QObject>

#include "core/event_loop.h"

namespace velnor {

// The Qt event loop of the thread that creates it, with the steady clock and precise timers.
class QtEventLoop final : public EventLoop {
  public:
    void post(std::function<void()> work) override;
    Duration now() const override;
    std::unique_ptr<Timer> createTimer(std::function<void()> action) override;

  private:
    QObject context_;  // posted work runs on its thread and is dropped with it
};

}  // namespace velnor
