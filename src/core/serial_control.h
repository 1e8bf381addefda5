#pragma once

// The serial port as the window sees it: one SerialControl opens a numbered port, drives DTR and
// RTS, reads DSR, CTS and CD, and raises OnComm on the window's thread when an input line changes.
// The port reports from any thread; SerialControl hands its reports to the window's thread through
// the EventLoop, at most one waiting notification per line.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/event_loop.h"
#include "core/serial_port.h"

namespace velnor {

class SerialControl {
  public:
    SerialControl(EventLoop& loop, PortBackend backend);
    SerialControl(const SerialControl&) = delete;
    SerialControl& operator=(const SerialControl&) = delete;
    ~SerialControl();

    // Number of the port that the next open uses.
    int16_t CommPort() const { return commPort_; }
    void setCommPort(int16_t port) { commPort_ = port; }

    bool PortOpen() const { return port_ != nullptr; }
    // Writing true opens port CommPort (nothing happens while a port is open) and applies the
    // stored DTR and RTS settings at once; on failure no port is open and the problem says why.
    // Writing false closes the open port, drops its notifications not yet delivered, and cannot
    // fail. Either ends the wait for a lost port's device: the user has chosen.
    Result<> setPortOpen(bool open);

    // The wait for a lost port: it starts when a port is lost (onPortLost) whose device the
    // backend can wait for, and lasts until that device is open again or setPortOpen is written.
    // Meanwhile the device is opened each time the backend finds it there; after a failed attempt
    // the next waits at least a delay that doubles from kFirstRetryDelay up to
    // kLongestRetryDelay, so a device that is there but does not open (an unplugged adapter hung
    // up before its node goes, a port another program holds) is tried a few times a second at
    // first and then every few seconds, never in a busy loop. A port that opens again and is lost
    // within kSteadyTime goes on with the same wait, as a failed attempt would, so a device that
    // comes and goes costs at most one open per kLongestRetryDelay.
    static constexpr std::chrono::milliseconds kFirstRetryDelay{100};
    static constexpr std::chrono::milliseconds kLongestRetryDelay{5000};
    static constexpr std::chrono::milliseconds kSteadyTime = kLongestRetryDelay;
    // True while no port is open and a lost port's device is waited for.
    bool waitsForLostPort() const { return lost_ && !port_; }

    // The settings of the output lines: applied at once while a port is open, kept while none is
    // and applied to the next port opened. Both start false.
    bool DTREnable() const { return dtrEnable_; }
    void setDTREnable(bool on);
    bool RTSEnable() const { return rtsEnable_; }
    void setRTSEnable(bool on);

    // Present levels of the input lines of the open port; all off while no port is open.
    ModemLevels levels() const;
    bool CDHolding() const { return levels().cd; }
    bool CTSHolding() const { return levels().cts; }
    bool DSRHolding() const { return levels().dsr; }
    // The open port's settle time (SerialPort::settleTime); 0 while no port is open.
    std::chrono::milliseconds settleTime() const;
    // The lines the open port reports (SerialPort::reportedLines); every line while none is open.
    ReportedLines reportedLines() const;

    // Code of the notification being delivered by OnComm.
    int16_t CommEvent() const { return commEvent_; }

    // Device of the open port, or empty.
    const std::u16string& device() const { return device_; }
    // The open port, or null; tests drive a loopback port's input lines through it.
    SerialPort* port() const { return port_.get(); }
    // Replaces the way ports are named and opened; tests put ports of their own here.
    void setBackend(PortBackend backend) { backend_ = std::move(backend); }

    // An input line of the open port changed; CommEvent tells which.
    std::function<void()> OnComm;
    // The open port has something to say for the event log.
    std::function<void(const std::u16string& text)> onNotice;
    // The open port vanished (a problem of kind Gone) and has been closed. `device` is the one
    // it was opened on: its number may stand for another device by now. The wait for it has
    // begun where the backend can wait (waitsForLostPort).
    std::function<void(const std::u16string& device, const Problem& problem)> onPortLost;
    // The wait is over: the lost port's device `device` is open again as port `port`, its
    // output lines set as DTREnable and RTSEnable say.
    std::function<void(int16_t port, const std::u16string& device)> onPortBack;
    // An attempt of the wait to open the device failed, for `problem`; the wait goes on. Heard
    // once per wait, at its first failure.
    std::function<void(int16_t port, const std::u16string& device, const Problem& problem)>
        onReopenFailed;

  private:
    class Relay;
    struct LostPort;

    bool delivers(uint64_t generation) const { return port_ && generation == generation_; }
    Result<> openDevice(std::u16string device);
    void closeOpenPort();
    void deliverComm(int16_t code);
    void releaseLostPort(const std::u16string& reason);
    void startWait(const std::u16string& device);
    void endWait();
    void watchForDevice();
    void deviceThere(uint64_t watch);
    void reopen();
    void retryLater();

    EventLoop& loop_;
    PortBackend backend_;
    int16_t commPort_ = 1;
    bool dtrEnable_ = false;
    bool rtsEnable_ = false;
    int16_t commEvent_ = 0;
    std::u16string device_;
    uint64_t generation_ = 0;  // counts opens; reports of an earlier open are dropped
    // Work posted by a relay checks this first: the control may be gone by the time it runs.
    std::shared_ptr<SerialControl*> self_;
    std::unique_ptr<Relay> relay_;  // outlives port_, which may call it until destroyed
    std::unique_ptr<SerialPort> port_;
    // The wait for a lost port; kept while the port it opened again is new (kSteadyTime).
    std::unique_ptr<LostPort> lost_;
    uint64_t watches_ = 0;  // counts the watches begun; reports of an earlier one are dropped
    std::unique_ptr<EventLoop::Timer> retry_;  // the delay before the next attempt
};

}  // namespace velnor
