#include "core/serial_control.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <optional>
#include <utility>

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

// The wait for the device of a lost port.
struct SerialControl::LostPort {
    std::u16string device;
    std::unique_ptr<DeviceWatch> watch{};  // while the backend looks for the device
    EventLoop::Duration retryDelay{0};     // of the last failed attempt; 0 before the first
    bool failureTold = false;
    // When the wait opened the port again; a loss soon after goes on with the wait.
    std::optional<EventLoop::Duration> reopenedAt{};
};

SerialControl::SerialControl(EventLoop& loop, PortBackend backend)
    : loop_(loop), backend_(std::move(backend)), self_(std::make_shared<SerialControl*>(this)) {}

SerialControl::~SerialControl() {
    port_.reset();
}

Result<> SerialControl::setPortOpen(bool open) {
    if (!open) {
        endWait();
        closeOpenPort();
        return {};
    }
    if (port_) return {};
    endWait();
    return openDevice(backend_.deviceOf(commPort_));
}

Result<> SerialControl::openDevice(std::u16string device) {
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

void SerialControl::closeOpenPort() {
    port_.reset();
    relay_.reset();
    device_.clear();
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
    closeOpenPort();
    if (lost_ && lost_->reopenedAt && loop_.now() - *lost_->reopenedAt < kSteadyTime) {
        lost_->reopenedAt.reset();
        retryLater();
    } else {
        startWait(device);
    }
    if (onPortLost) onPortLost(device, {ProblemKind::Gone, reason});
}

void SerialControl::startWait(const std::u16string& device) {
    endWait();
    if (!backend_.watchReturn) return;
    lost_ = std::make_unique<LostPort>(LostPort{.device = device});
    watchForDevice();
    if (!lost_->watch) lost_.reset();  // the backend cannot wait for this device
}

void SerialControl::endWait() {
    lost_.reset();
    if (retry_) retry_->stop();
}

// The backend looks for the device and reports once it is there, maybe at once.
void SerialControl::watchForDevice() {
    const uint64_t watch = ++watches_;
    lost_->watch =
        backend_.watchReturn(lost_->device, [&loop = loop_, control = std::weak_ptr(self_), watch] {
            loop.post([control, watch] {
                if (const auto self = control.lock()) (*self)->deviceThere(watch);
            });
        });
}

void SerialControl::deviceThere(uint64_t watch) {
    if (watch != watches_ || !lost_ || !lost_->watch || port_) return;
    lost_->watch.reset();
    reopen();
}

// CommPort is still the lost port's: choosing any port ends the wait.
void SerialControl::reopen() {
    const std::u16string device = lost_->device;
    const Result<> opened = openDevice(device);
    if (opened) {
        lost_->reopenedAt = loop_.now();
        if (onPortBack) onPortBack(commPort_, device);
        return;
    }
    const bool first = !std::exchange(lost_->failureTold, true);
    retryLater();
    if (first && onReopenFailed) onReopenFailed(commPort_, device, opened.error());
}

// The backend looks again once the next delay has passed.
void SerialControl::retryLater() {
    EventLoop::Duration& delay = lost_->retryDelay;
    delay = delay == EventLoop::Duration::zero() ? kFirstRetryDelay
                                                 : std::min(2 * delay, kLongestRetryDelay);
    if (!retry_)
        retry_ = loop_.createTimer([this] {
            if (waitsForLostPort()) watchForDevice();
        });
    retry_->start(delay);
}

}  // namespace velnor
