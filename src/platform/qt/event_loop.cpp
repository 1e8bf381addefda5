#include "platform/qt/event_loop.h"

#include <QTimer>

namespace velnor {
namespace {

class QtTimer final : public EventLoop::Timer {
  public:
    explicit QtTimer(std::function<void()> action) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, std::move(action));
    }
    void start(EventLoop::Duration delay) override { timer_.start(delay); }
    void stop() override { timer_.stop(); }

  private:
    QTimer timer_;
};

}  // namespace

void QtEventLoop::post(std::function<void()> work) {
    QMetaObject::invokeMethod(&context_, std::move(work), Qt::QueuedConnection);
}

EventLoop::Duration QtEventLoop::now() const {
    return std::chrono::duration_cast<Duration>(
        std::chrono::steady_clock::now().time_since_epoch());
}

std::unique_ptr<EventLoop::Timer> QtEventLoop::createTimer(std::function<void()> action) {
    return std::make_unique<QtTimer>(std::move(action));
}

}  // namespace velnor
