#include "core/serial_control.h"

#include <array>
#include <atomic>

namespace velnor {

// Carries the reports of one open port to the window's thread. Each report is posted to the
// control and acts only if the control still exists and the port it came from is still the open
// one.
//
// Line changes wait as at most one notification per line, however fast the lines flip: edges
// that come while one waits only add to its count. One notification serves them all, as the
// monitor follows a line's present level, not the edge; a ring flips the indicator, so a waiting
// ring notification is delivered once per ring.
class SerialControl::Relay final : public PortListener {
  public:
    Relay(EventLoop& loop, std::weak_ptr<SerialControl*> control, uint64_t generation)
        : loop_(loop), control_(std::move(control)), generation_(generation) {}

    void lineChanged(int16_t code) override {
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
    void notice(const std::u16string& text) override {
        post([text](SerialControl& control) {
            if (control.onNotice) control.onNotice(text);
        });
    }
    void gone(const std::u16string& reason) override {
        post([reason](SerialControl& control) { control.releaseLostPort(reason); });
    }

  private:
    template <class Action>
    void post(Action action) {
        loop_.post([control = control_, generation = generation_, action = std::move(action)] {
            const auto self = control.lock();
            if (self && (*self)->delivers(generation)) action(**self);
        });
    }

    // Edges reported and not yet delivered, per code from comEvCTS to comEvRing.
    std::atomic<int>& waiting(int16_t code) { return waiting_[code - comEvCTS]; }

    EventLoop& loop_;
    const std::weak_ptr<SerialControl*> control_;
    const uint64_t generation_;
    std::array<std::atomic<int>, comEvRing - comEvCTS + 1> waiting_{};
};

SerialControl::SerialControl(EventLoop& loop, PortBackend backend)
    : loop_(loop), backend_(std::move(backend)), self_(std::make_shared<SerialControl*>(this)) {}

SerialControl::~SerialControl() {
    port_.reset();
}

Result<> SerialControl::setPortOpen(bool open) {
    if (!open) {
        port_.reset();
        relay_.reset();
        device_.clear();
        return {};
    }
    if (port_) return {};
    lostDevice_.reset();  // the user has moved on
    std::u16string device = backend_.deviceOf(commPort_);
    auto relay = std::make_unique<Relay>(loop_, self_, ++generation_);
    OpenResult opened = backend_.open(device, *relay);
    if (!opened) return std::unexpected(std::move(opened.error()));
    relay_ = std::move(relay);
    port_ = std::move(*opened);
    device_ = std::move(device);
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

std::chrono::milliseconds SerialControl::settleTime() const {
    return port_ ? port_->settleTime() : std::chrono::milliseconds::zero();
}

ReportedLines SerialControl::reportedLines() const {
    return port_ ? port_->reportedLines() : ReportedLines{};
}

void SerialControl::deliverComm(int16_t code) {
    commEvent_ = code;
    if (OnComm) OnComm();
}

void SerialControl::releaseLostPort(const std::u16string& reason) {
    const std::u16string device = device_;
    setPortOpen(false);
    if (onPortLost) onPortLost(device, {ProblemKind::Gone, reason});
    watchReturn(commPort_, device);
}

void SerialControl::watchReturn(int16_t port, const std::u16string& device) {
    if (!backend_.watchReturn || PortOpen()) return;
    // A report counts only while no port has been opened since the loss.
    lostDevice_ = backend_.watchReturn(device, [&loop = loop_, control = std::weak_ptr(self_),
                                                generation = generation_, port, device] {
        loop.post([control, generation, port, device] {
            const auto self = control.lock();
            if (!self || !(*self)->lostDevice_ || (*self)->generation_ != generation) return;
            (*self)->lostDevice_.reset();
            if ((*self)->onPortBack) (*self)->onPortBack(port, device);
        });
    });
}

}  // namespace velnor
