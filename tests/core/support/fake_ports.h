#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "core/serial_port.h"
#include "core/text.h"

namespace velnor::test {

class FakePorts;

// A port of the test's own. The test sets its input lines and makes it report, from its own
// thread or another one; level reads answer with the queued reads first, then with the steady
// levels, so a line can change between two reads. Its own doings go into the journal of its
// FakePorts.
class FakePort final : public SerialPort {
  public:
    FakePort(FakePorts& ports, std::u16string device, PortListener& listener, ModemLevels levels);
    ~FakePort() override;

    void setDtr(bool on) override;
    void setRts(bool on) override;
    ModemLevels levels() override;
    std::chrono::milliseconds settleTime() const override { return settleTime_; }
    ReportedLines reportedLines() const override { return reported_; }

    // The far end: sets the steady levels of the lines, without a report.
    void setLevels(ModemLevels levels) {
        const std::lock_guard lock(mutex_);
        steady_ = levels;
    }
    // Sets one line and reports its change, as a port that notices every edge does.
    void setLine(bool ModemLevels::*line, int16_t code, bool on) {
        {
            const std::lock_guard lock(mutex_);
            steady_.*line = on;
        }
        listener.lineChanged(code);
    }
    // Levels that the next reads answer with, one each, before the steady levels again.
    void queueReads(std::vector<ModemLevels> reads) {
        const std::lock_guard lock(mutex_);
        queued_.assign(reads.begin(), reads.end());
    }
    int reads() const {
        const std::lock_guard lock(mutex_);
        return reads_;
    }
    void setSettleTime(std::chrono::milliseconds settle) { settleTime_ = settle; }
    void setReportedLines(ReportedLines reported) { reported_ = std::move(reported); }

    PortListener& listener;

  private:
    FakePorts& ports_;
    std::u16string device_;
    mutable std::mutex mutex_;
    ModemLevels steady_;
    std::deque<ModemLevels> queued_;
    int reads_ = 0;
    std::chrono::milliseconds settleTime_{0};
    ReportedLines reported_;
};

// The backend of the tests: port n is "/dev/ttyS<n-1>"; it opens a FakePort for every device but
// the refused ones and keeps the journal of all of them: "open /dev/ttyS0", "DTR on",
// "close /dev/ttyS0", "watch /dev/ttyS0", "unwatch /dev/ttyS0", ...
class FakePorts {
  public:
    PortBackend backend() {
        return {.deviceOf =
                    [this](int port) {
                        return deviceOf ? deviceOf(port) : u"/dev/ttyS" + toU16(port - 1);
                    },
                .open = [this](const std::u16string& device,
                               PortListener& listener) { return openPort(device, listener); },
                .watchReturn =
                    [this](const std::u16string& device, std::function<void()> back) {
                        return watch(device, std::move(back));
                    }};
    }

    // The device being waited for is back: the waiting core hears it (from the test's thread).
    void comeBack() {
        if (const auto back = std::exchange(back_, {})) back();
    }

    std::vector<std::u16string> journal;
    std::set<std::u16string> refused;
    // Devices that are there: a watch for one reports at once, from within watchReturn.
    std::set<std::u16string> present;
    // Hears every attempt to open a device, refused or not.
    std::function<void(const std::u16string& device)> opening;
    std::function<std::u16string(int port)> deviceOf;  // empty: port n is /dev/ttyS<n-1>
    ModemLevels levelsAtOpen;  // the steady levels of each port opened from now on
    std::chrono::milliseconds settleTimeAtOpen{0};
    // What each port opened from now on reports.
    ReportedLines reportedAtOpen;
    FakePort* open = nullptr;  // the port open now

  private:
    // Waits until the test brings the device back, or until the core stops waiting.
    class Watch final : public DeviceWatch {
      public:
        Watch(FakePorts& ports, std::u16string device)
            : ports_(ports), device_(std::move(device)) {}
        ~Watch() override {
            ports_.journal.push_back(u"unwatch " + device_);
            ports_.back_ = {};
        }

      private:
        FakePorts& ports_;
        std::u16string device_;
    };

    std::unique_ptr<DeviceWatch> watch(const std::u16string& device, std::function<void()> back) {
        journal.push_back(u"watch " + device);
        auto watch = std::make_unique<Watch>(*this, device);
        if (present.contains(device))
            back();
        else
            back_ = std::move(back);
        return watch;
    }

    std::function<void()> back_;

    OpenResult openPort(const std::u16string& device, PortListener& listener) {
        if (opening) opening(device);
        if (refused.contains(device))
            return std::unexpected(Problem{ProblemKind::Missing, u"No such file or directory"});
        journal.push_back(u"open " + device);
        auto port = std::make_unique<FakePort>(*this, device, listener, levelsAtOpen);
        port->setSettleTime(settleTimeAtOpen);
        port->setReportedLines(reportedAtOpen);
        open = port.get();
        return port;
    }
};

inline FakePort::FakePort(FakePorts& ports, std::u16string device, PortListener& listener,
                          ModemLevels levels)
    : listener(listener), ports_(ports), device_(std::move(device)), steady_(levels) {}

inline FakePort::~FakePort() {
    ports_.journal.push_back(u"close " + device_);
    if (ports_.open == this) ports_.open = nullptr;
}

inline void FakePort::setDtr(bool on) {
    ports_.journal.push_back(on ? u"DTR on" : u"DTR off");
}

inline void FakePort::setRts(bool on) {
    ports_.journal.push_back(on ? u"RTS on" : u"RTS off");
}

inline ModemLevels FakePort::levels() {
    const std::lock_guard lock(mutex_);
    ++reads_;
    if (queued_.empty()) return steady_;
    const ModemLevels next = queued_.front();
    queued_.pop_front();
    return next;
}

}  // namespace velnor::test
