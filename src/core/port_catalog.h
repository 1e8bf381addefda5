#pragma once

// What the user can say about the ports COM1 to COM4: the serial devices of the machine to pick
// from, and which device each port stands for, kept for the next runs.

#include <optional>
#include <string>
#include <vector>

#include "core/problem.h"

namespace velnor {

class PortCatalog {
  public:
    struct Device {
        std::u16string path;         // what to open: "/dev/serial/by-id/usb-FTDI_...", "COM7"
        std::u16string description;  // "FTDI FT232R USB UART (/dev/ttyUSB0)"
    };

    virtual ~PortCatalog() = default;
    // The serial devices there are now, as a user picks them.
    virtual std::vector<Device> devices() = 0;
    // `device` in words, as in devices() where it is one of them: an assignment may name a device
    // that is not plugged in.
    virtual std::u16string describe(const std::u16string& device) = 0;
    // What COM`port` stands for without an assignment: "/dev/ttyS0".
    virtual std::u16string defaultDevice(int port) = 0;
    // The device the user assigned to COM`port`, if any.
    virtual std::optional<std::u16string> assigned(int port) = 0;
    // Assigns `device` to COM`port` (empty: takes the assignment back) and keeps it; when it
    // cannot be kept, it holds for this run only and the problem says why.
    virtual Result<> assign(int port, const std::u16string& device) = 0;
    // Why what is kept cannot be read, where it cannot: then no port has an assignment but those
    // made in this run, and assign() leaves what is kept as it is.
    virtual std::optional<Problem> settingsProblem() = 0;
};

}  // namespace velnor
