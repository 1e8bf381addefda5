#pragma once

// How one input line (DSR, CTS or CD) is followed for its handler: the edge rule on each
// notification, the line's polarity, an eager debounce, and a later look at the line, so that
// once the line has been still long enough the handler's flag is the line's level. Standard C++
// only; time comes from the EventLoop.

#include <functional>
#include <memory>

#include "core/event_loop.h"

namespace velnor {

// Settle times a view offers for choosing, in milliseconds.
inline constexpr int kSettleTimePresets[] = {0, 10, 20, 30, 50, 100};

class LineFilter {
  public:
    using Duration = EventLoop::Duration;
    static constexpr Duration kMaxSettleTime{1000};

    // The two sides of the line: the open port's and the handler's.
    struct Line {
        std::function<bool()> level;  // the port's present level of the line, before polarity
        // False where the open port does not report the line at all: it is then never followed.
        std::function<bool()> reported;
        // Shows whether the line is reported, when that changes: at an open, and at the close.
        std::function<void(bool reported)> showReported;
        // How long after its last report the port may still hold back a change of the line, or
        // read a level that disagrees with what it reported (SerialPort::settleTime).
        std::function<Duration()> portSettleTime;
        std::function<bool()> flag;     // the handler's flag
        std::function<void()> on;       // the handler's SignalOn
        std::function<void()> foundOn;  // the handler's SignalFoundOn: on as the port opened
        std::function<void()> off;      // the handler's SignalOff
        std::function<void()> lost;     // the handler's SignalLost: the port closed or went
    };

    LineFilter(Line line, EventLoop& time);

    // The debounce: with a settle time above 0 the first edge acts at once, the edges after it
    // within the settle time are ignored, and when it ends the line is followed if its level
    // differs from the flag (which starts the settle time anew). 0 lets every edge act.
    Duration settleTime() const { return settle_; }
    void setSettleTime(Duration settle) { settle_ = settle; }
    // Inverted polarity (a normally closed switch): the handler sees the line on while its level
    // is off. A change is followed at once while a port is open.
    bool inverted() const { return inverted_; }
    void setInverted(bool inverted);

    // A port has opened: a line that is already on is followed at once, through foundOn, unless
    // the port does not report it.
    void portOpened();
    // The port notified a change of the line.
    void notified();
    // The port notified a change of another line, or a ring: until the port has been quiet for
    // its settle time, a change of this line may still come unannounced, so the look at it waits.
    void portHeard();
    // The port closes, or has gone: the handler hears of it (a line that is on goes off), and the
    // line is left alone until a port opens again.
    void portClosed();
    // A check of the port's wiring drives the line for a while: until release() the line is not
    // followed, and then it is followed from its present level, as after a notification. A close
    // releases it too.
    void hold();
    void release();
    // True while a look at the line is still to come (the end of a settle time, or the port's).
    bool lookPending() const { return lookPending_; }
    // False while the open port does not report the line; true with no port open.
    bool reported() const { return reported_; }

  private:
    bool following() const { return portOpen_ && reported_ && !held_; }
    bool level() const;
    bool follow(Duration now);
    void lookAgain();
    void schedule(Duration now);

    Line line_;
    EventLoop& time_;
    std::unique_ptr<EventLoop::Timer> timer_;
    Duration settle_{0};
    bool inverted_ = false;
    bool portOpen_ = false;
    bool reported_ = true;
    bool held_ = false;
    bool opening_ = false;                  // the look of portOpened() is under way
    Duration settlesAt_ = Duration::min();  // edges before it are ignored
    bool settleLookOwed_ = false;           // the look at the end of the settle time
    Duration heardAt_ = Duration::min();    // the port's last report, or a change found unannounced
    bool lookPending_ = false;
};

}  // namespace velnor
