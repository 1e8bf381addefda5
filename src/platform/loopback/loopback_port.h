#pragma once

#include <mutex>

#include "core/serial_port.h"

namespace velnor {

// A simulated port wired like a loopback plug: DTR drives DSR and CD, RTS drives CTS and RI.
// It reports one notification per input line that changes, each edge of RI being a ring, through
// the same listener as a real port. Every member may be called from any thread.
class LoopbackPort final : public SerialPort {
  public:
    enum class Line { Cts, Dsr, Cd, Ri };

    explicit LoopbackPort(PortListener& listener) : listener_(listener) {}

    void setDtr(bool on) override;
    void setRts(bool on) override;
    ModemLevels levels() override;
    // Every change is reported, and reads agree with the reports.
    std::chrono::milliseconds settleTime() const override { return {}; }
    ReportedLines reportedLines() const override { return {}; }

    // Drives an input line as the far end would.
    void setLine(Line line, bool on);
    // Makes the port vanish as an unplugged adapter does: the listener hears that it is gone,
    // and from then on the lines read off and nothing more is reported.
    void unplug();

  private:
    std::mutex mutex_;
    ModemLevels levels_;
    bool gone_ = false;
    PortListener& listener_;
};

}  // namespace velnor
