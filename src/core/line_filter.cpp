#include "core/line_filter.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace velnor {

LineFilter::LineFilter(Line line, EventLoop& time)
    : line_(std::move(line)), time_(time), timer_(time.createTimer([this] { lookAgain(); })) {}

void LineFilter::setInverted(bool inverted) {
    if (inverted == inverted_) return;
    inverted_ = inverted;
    notified();  // the level the handler sees has changed
}

void LineFilter::portOpened() {
    portOpen_ = true;
    if (const bool reported = line_.reported(); reported != std::exchange(reported_, reported))
        line_.showReported(reported);
    settlesAt_ = Duration::min();
    settleLookOwed_ = false;
    opening_ = true;
    notified();
    opening_ = false;
}

void LineFilter::notified() {
    if (following() && time_.now() >= settlesAt_) follow(time_.now());
    portHeard();
}

void LineFilter::portHeard() {
    if (!following()) return;
    heardAt_ = time_.now();
    schedule(heardAt_);
}

void LineFilter::hold() {
    held_ = true;
    timer_->stop();
    lookPending_ = false;
}

void LineFilter::release() {
    held_ = false;
    notified();
}

void LineFilter::portClosed() {
    portOpen_ = false;
    held_ = false;
    timer_->stop();
    lookPending_ = false;
    settlesAt_ = Duration::min();
    settleLookOwed_ = false;
    line_.lost();
    if (!std::exchange(reported_, true)) line_.showReported(true);
}

bool LineFilter::level() const {
    return line_.level() != inverted_;
}

// The edge rule: the direction comes from the level against the flag, never from the
// notification, and both tests read the level afresh, so a line that fell between them is still
// followed and one that rose and fell before its notification acts not at all. With a settle time
// the first edge alone acts; the end of the settle time follows whatever came after it.
bool LineFilter::follow(Duration now) {
    const bool debounced = settle_ > Duration::zero();
    settleLookOwed_ = false;
    bool acted = false;
    bool flag = line_.flag();
    bool on = level();
    if (on && !flag) {
        if (opening_)
            line_.foundOn();
        else
            line_.on();
        acted = true;
    }
    if (!(acted && debounced)) {
        flag = line_.flag();
        on = level();
        if (!on && flag) {
            line_.off();
            acted = true;
        }
    }
    if (acted && debounced) {
        settlesAt_ = now + settle_;
        settleLookOwed_ = true;
    }
    return acted;
}

void LineFilter::lookAgain() {
    if (!following()) return;
    const Duration now = time_.now();
    // A change found here came unannounced: the port gets its settle time to tell the next one.
    if (now >= settlesAt_ && follow(now)) heardAt_ = now;
    schedule(now);
}

// The next look comes at the end of the settle time (at once if that has passed unlooked at), and
// not before the port's settle time has passed since it was last heard.
void LineFilter::schedule(Duration now) {
    std::optional<Duration> due;
    if (settleLookOwed_) due = std::max(settlesAt_, now);
    const Duration portSettle = line_.portSettleTime();
    if (portSettle > Duration::zero() && heardAt_ + portSettle > now)
        due = std::max(due.value_or(now), heardAt_ + portSettle);
    lookPending_ = due.has_value();
    if (due)
        timer_->start(*due - now);
    else
        timer_->stop();
}

}  // namespace velnor
