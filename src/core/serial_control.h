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
    // fail.
    Result<> setPortOpen(bool open);

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
    // it was opened on: its number may stand for another device by now.
    std::function<void(const std::u16string& device, const Problem& problem)> onPortLost;
    // The device of port `port`, lost before, can be opened again. Heard only while no other port
    // has been opened since.
    std::function<void(int16_t port, const std::u16string& device)> onPortBack;

  private:
    class Relay;

    bool delivers(uint64_t generation) const { return port_ && generation == generation_; }
    void deliverComm(int16_t code);
    void releaseLostPort(const std::u16string& reason);
    void watchReturn(int16_t port, const std::u16string& device);

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
    std::unique_ptr<DeviceWatch> lostDevice_;  // waits for the device of a lost port
};

}  // namespace velnor
