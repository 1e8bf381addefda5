#pragma once

// Which input lines of the open port follow each output line: with both off, DTR and then RTS
// is raised alone, and after each step, given time to settle on the EventLoop's timers (the
// window's thread never waits), the input lines are read. Both outputs end as they were. Whoever
// starts a check holds the lines' handlers off until it has finished.

#include <functional>
#include <memory>
#include <string>

#include "core/event_loop.h"
#include "core/serial_control.h"

namespace velnor {

// "DTR → DSR, CD; RTS → CTS; RI never changed": the levels with both outputs off, with DTR
// alone on and with RTS alone on. A line the port does not report is named as such, never as
// following.
std::u16string describeWiring(const ModemLevels& neither, const ModemLevels& dtr,
                              const ModemLevels& rts, const ReportedLines& reported);

class WiringCheck {
  public:
    // `finished` hears describeWiring's sentence once the outputs are back as they were and have
    // settled.
    WiringCheck(SerialControl& port, EventLoop& loop,
                std::function<void(const std::u16string&)> finished);

    // Starts a check on the open port.
    void start();
    // Puts the outputs back at once and forgets the check; nothing more is heard of it.
    void stop();
    bool running() const { return step_ != 0; }

  private:
    void next();
    void drive(bool dtr, bool rts);

    SerialControl& port_;
    std::function<void(const std::u16string&)> finished_;
    std::unique_ptr<EventLoop::Timer> timer_;
    int step_ = 0;  // 0: none under way
    bool dtrBefore_ = false;
    bool rtsBefore_ = false;
    ModemLevels read_[3];  // neither on, DTR on, RTS on
};

}  // namespace velnor
