#include "platform/loopback/loopback_port.h"

namespace velnor {

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
    qint16 code = 0;
    {
        std::lock_guard lock(mutex_);
        if (gone_) return;
        bool* level = nullptr;
        switch (line) {
            case Line::Cts:
                level = &levels_.cts;
                code = comEvCTS;
                break;
            case Line::Dsr:
                level = &levels_.dsr;
                code = comEvDSR;
                break;
            case Line::Cd:
                level = &levels_.cd;
                code = comEvCD;
                break;
            case Line::Ri:
                level = &levels_.ri;
                code = comEvRing;
                break;
        }
        if (*level == on) return;
        *level = on;
    }
    listener_.lineChanged(code);
}

void LoopbackPort::unplug() {
    {
        std::lock_guard lock(mutex_);
        if (gone_) return;
        gone_ = true;
        levels_ = {};
    }
    listener_.gone(QStringLiteral("the loopback port was unplugged"));
}

}  // namespace velnor
