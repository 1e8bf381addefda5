#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

#include "core/serial_port.h"

namespace velnor {

// A Windows COM port ("\\.\COM1") opened for its modem lines: DTR and RTS through
// EscapeCommFunction, the input levels through GetCommModemStatus, and a watcher thread in an
// overlapped WaitCommEvent that reports each change of CTS, DSR, RLSD (CD) and each ring.
class CommPort final : public SerialPort {
  public:
    // Opens `device` exclusively; the error names the device and says why it cannot be used.
    static OpenResult open(const std::u16string& device, PortListener& listener);

    CommPort(HANDLE handle, PortListener& listener);
    CommPort(const CommPort&) = delete;
    CommPort& operator=(const CommPort&) = delete;
    // Ends the watcher's wait at once, joins it and closes the device.
    ~CommPort() override;

    void setDtr(bool on) override;
    void setRts(bool on) override;
    ModemLevels levels() override;
    std::chrono::milliseconds settleTime() const override;

  private:
    void watch();
    void report(DWORD events);
    void escape(DWORD function);

    HANDLE handle_;
    HANDLE stop_;
    std::mutex waitStart_;  // a wait begins, or the port stops, never both at once
    PortListener& listener_;
    std::atomic<bool> gone_ = false;  // the listener has heard that the device is gone
    std::thread watcher_;
};

// Ports as Windows numbers them: port n is `\\.\COMn`, unless the environment variable
// VELNOR_COM<n> names another device or "loopback".
PortBackend win32PortBackend();

}  // namespace velnor
