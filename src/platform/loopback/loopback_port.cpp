#include "platform/loopback/loopback_port.h"

namespace velnor {
namespace {

struct LineWiring {
    bool ModemLevels::*level;
    int16_t code;
};
// In the order of LoopbackPort::Line.
constexpr LineWiring kWiring[] = {{&ModemLevels::cts, comEvCTS},
                                  {&ModemLevels::dsr, comEvDSR},
                                  {&ModemLevels::cd, comEvCD},
                                  {&ModemLevels::ri, comEvRing}};

}  // namespace

void LoopbackPort::setDtr(bool on) {
    setLine(Line::Dsr, on);
    setLine(Line::Cd, on);
}

void LoopbackPort::setRts(bool on) {
    setLine(Line::Cts, on);
    setLine(Line::Ri, on);
}

ModemLevels LoopbackPort::levels() {
    std::lock_guard lock(mutex_);
    return levels_;
}

void LoopbackPort::setLine(Line line, bool on) {
    const LineWiring& wiring = kWiring[static_cast<int>(line)];
    {
        std::lock_guard lock(mutex_);
        if (gone_ || levels_.*wiring.level == on) return;
        levels_.*wiring.level = on;
    }
    listener_.lineChanged(wiring.code);
}

void LoopbackPort::unplug() {
    {
        std::lock_guard lock(mutex_);
        if (gone_) return;
        gone_ = true;
        levels_ = {};
    }
    listener_.gone(u"the loopback port was unplugged");
}

}  // namespace velnor
