#include "platform/serial_control.h"

#include <QMetaObject>
#include <array>
#include <atomic>

#include "platform/loopback/loopback_port.h"
#include "platform/posix/posix_serial_port.h"

namespace velnor {
namespace {

OpenResult openDevice(const QString& device, PortListener& listener) {
    if (device == u"loopback") return std::make_unique<LoopbackPort>(listener);
    return posix::openPort(device, listener);
}

}  // namespace

// Carries the reports of one open port to the window's thread. Each report is queued to the
// control and acts only if the port it came from is still the open one.
//
// Line changes wait as at most one notification per line, however fast the lines flip: edges
// that come while one waits only add to its count. One notification serves them all, as the
// monitor follows a line's present level, not the edge; a ring flips the indicator, so a waiting
// ring notification is delivered once per ring.
class SerialControl::Relay final : public PortListener {
  public:
    Relay(SerialControl& control, quint64 generation)
        : control_(control), generation_(generation) {}

    void lineChanged(qint16 code) override {
        if (code < comEvCTS || code > comEvRing) {  // no line of ours: handed on as it came
            post([code](SerialControl& control) { control.deliverComm(code); });
            return;
        }
        if (waiting(code).fetch_add(1) > 0) return;
        // A delivery runs only while its port is open, so this relay lives until the port
        // closes, which a notification's handler may do: after that only the copied generation
        // is looked at.
        post([this, code, generation = generation_](SerialControl& control) {
            const int edges = waiting(code).exchange(0);
            const int count = code == comEvRing ? edges : 1;
            for (int n = 0; n < count && control.delivers(generation); ++n)
                control.deliverComm(code);
        });
    }
    void notice(const QString& text) override {
        post([text](SerialControl& control) { Q_EMIT control.notice(text); });
    }
    void gone(const QString& reason) override {
        post([reason](SerialControl& control) { control.releaseLostPort(reason); });
    }

  private:
    template <class Action>
    void post(Action action) {
        SerialControl* control = &control_;
        QMetaObject::invokeMethod(
            control,
            [control, generation = generation_, action = std::move(action)] {
                if (control->delivers(generation)) action(*control);
            },
            Qt::QueuedConnection);
    }

    // Edges reported and not yet delivered, per code from comEvCTS to comEvRing.
    std::atomic<int>& waiting(qint16 code) { return waiting_[code - comEvCTS]; }

    SerialControl& control_;
    const quint64 generation_;
    std::array<std::atomic<int>, comEvRing - comEvCTS + 1> waiting_{};
};

QString comPortDevice(int port) {
    const QString named = qEnvironmentVariable(QStringLiteral("VELNOR_COM%1").arg(port).toLatin1());
    if (!named.isEmpty()) return named;
    return QStringLiteral("/dev/ttyS%1").arg(port - 1);
}

SerialControl::SerialControl(QObject* parent) : QObject(parent), opener_(openDevice) {}

SerialControl::~SerialControl() {
    port_.reset();
}

std::expected<void, SerialError> SerialControl::setPortOpen(bool open) {
    if (!open) {
        port_.reset();
        relay_.reset();
        device_.clear();
        return {};
    }
    if (port_) return {};
    const QString device = comPortDevice(commPort_);
    auto relay = std::make_unique<Relay>(*this, ++generation_);
    OpenResult opened = opener_(device, *relay);
    if (!opened) return std::unexpected(std::move(opened.error()));
    relay_ = std::move(relay);
    port_ = std::move(*opened);
    device_ = device;
    // Opening a tty raises both output lines; they follow the settings from the first moment.
    port_->setDtr(dtrEnable_);
    port_->setRts(rtsEnable_);
    return {};
}

void SerialControl::setDTREnable(bool on) {
    dtrEnable_ = on;
    if (port_) port_->setDtr(on);
}

void SerialControl::setRTSEnable(bool on) {
    rtsEnable_ = on;
    if (port_) port_->setRts(on);
}

ModemLevels SerialControl::levels() const {
    return port_ ? port_->levels() : ModemLevels{};
}

bool SerialControl::CDHolding() const {
    return levels().cd;
}

bool SerialControl::CTSHolding() const {
    return levels().cts;
}

bool SerialControl::DSRHolding() const {
    return levels().dsr;
}

std::chrono::milliseconds SerialControl::settleTime() const {
    return port_ ? port_->settleTime() : std::chrono::milliseconds::zero();
}

LoopbackPort* SerialControl::loopbackPort() const {
    return dynamic_cast<LoopbackPort*>(port_.get());
}

void SerialControl::deliverComm(qint16 code) {
    commEvent_ = code;
    Q_EMIT OnComm();
}

void SerialControl::releaseLostPort(const QString& reason) {
    SerialError error{device_, reason};
    setPortOpen(false);
    Q_EMIT portLost(error);
}

}  // namespace velnor
