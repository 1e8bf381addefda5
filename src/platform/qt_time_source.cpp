#include "platform/qt_time_source.h"

#include <QTimer>

namespace velnor {
namespace {

class QtTimer final : public TimeSource::Timer {
  public:
    explicit QtTimer(std::function<void()> action) {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, std::move(action));
    }
    void start(TimeSource::Duration delay) override { timer_.start(delay); }
    void stop() override { timer_.stop(); }

  private:
    QTimer timer_;
};

}  // namespace

TimeSource::Duration QtTimeSource::now() const {
    return std::chrono::duration_cast<Duration>(
        std::chrono::steady_clock::now().time_since_epoch());
}

std::unique_ptr<TimeSource::Timer> QtTimeSource::createTimer(std::function<void()> action) {
    return std::make_unique<QtTimer>(std::move(action));
}

}  // namespace velnor
