#pragma once

// What the program needs of a serial port: backends (posix/, loopback/, win32/) open ports that
// drive DTR and RTS, read the input lines and report their changes from any thread to a
// PortListener.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "core/problem.h"

namespace velnor {

// Codes that CommEvent holds while OnComm runs; every other code is left unused.
inline constexpr int16_t comEvCTS = 3;
inline constexpr int16_t comEvDSR = 4;
inline constexpr int16_t comEvCD = 5;
inline constexpr int16_t comEvRing = 6;

struct ModemLevels {
    bool cts = false;
    bool dsr = false;
    bool cd = false;
    bool ri = false;
};

// The input lines a port reports at all, true for each. A driver may have no way to learn a line
// (cdc-acm reads CTS as on whatever the far end does): its level and changes then mean nothing.
struct ReportedLines {
    ModemLevels lines{.cts = true, .dsr = true, .cd = true, .ri = true};
    // The kernel driver behind the port, where the backend knows it ("cdc_acm").
    std::u16string driver{};

    // "the cdc_acm driver", or "the port's driver" where its name is not known.
    std::u16string driverWords() const {
        return driver.empty() ? u"the port's driver" : u"the " + driver + u" driver";
    }
};

// Receives the reports of one open port. Backends call it from any thread; each call only hands
// the report on and returns at once.
class PortListener {
  public:
    // An input line changed: comEvCTS, comEvDSR, comEvCD, or comEvRing for a ring.
    virtual void lineChanged(int16_t code) = 0;
    // Something about the open port worth one event-log line.
    virtual void notice(const std::u16string& text) = 0;
    // The device is gone (an unplugged adapter), for `reason` in the system's words; nothing
    // more is reported.
    virtual void gone(const std::u16string& reason) = 0;

  protected:
    ~PortListener() = default;
};

// One open port of a backend. Destroying it releases the device and returns only once the
// backend can no longer call its listener.
class SerialPort {
  public:
    virtual ~SerialPort() = default;

    virtual void setDtr(bool on) = 0;
    virtual void setRts(bool on) = 0;
    // Present levels of the input lines; all off when they cannot be read.
    virtual ModemLevels levels() = 0;
    // How long after its last report of a line the port may still hold back a change of that
    // line, or read a level that disagrees with its reports: a line quiet for longer is looked
    // at again and is then right. 0 where every change is reported and every read agrees.
    virtual std::chrono::milliseconds settleTime() const = 0;
    // The input lines the port reports; one it does not report never acts.
    virtual ReportedLines reportedLines() const = 0;
};

// The port opened, or why not: the problem's reason is the system's, with a hint where one helps,
// and names no device (the caller knows which it asked for).
using OpenResult = Result<std::unique_ptr<SerialPort>>;

// Waits for a device that went away to come back; destroying it stops the wait and returns once
// nothing more is reported.
class DeviceWatch {
  public:
    virtual ~DeviceWatch() = default;
};

// How the platform names and opens ports.
struct PortBackend {
    // The device that port number `port` stands for ("/dev/ttyS0", "loopback", "\\.\COM1").
    std::function<std::u16string(int port)> deviceOf;
    // Opens `device` and reports its changes to `listener` until the port is destroyed.
    std::function<OpenResult(const std::u16string& device, PortListener& listener)> open;
    // Calls `back`, from any thread, once `device` can be opened again; empty where the platform
    // cannot tell.
    std::function<std::unique_ptr<DeviceWatch>(const std::u16string& device,
                                               std::function<void()> back)>
        watchReturn{};
};

}  // namespace velnor
