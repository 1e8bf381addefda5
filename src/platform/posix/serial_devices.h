#pragma once

// The serial devices of this machine as a user would pick them: each by its stable name under
// /dev/serial/by-id where udev gives one, with vendor and model read from sysfs, and the ports
// COM1 to COM4 stand for, kept per user.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velnor::posix {

struct SerialDevice {
    std::string path;    // what to open: the /dev/serial/by-id name, or the /dev node
    std::string node;    // the node it leads to: "/dev/ttyUSB0"
    std::string vendor;  // from the USB device ("FTDI"), or empty
    std::string model;   // ("FT232R USB UART"), or empty

    // "FTDI FT232R USB UART (/dev/ttyUSB0)", or the node alone.
    std::string description() const;
};

// The devices found under `root` (tests pass a tree of their own): every name under
// dev/serial/by-id, then every USB serial node (ttyUSB*, ttyACM*) without one, in name order.
std::vector<SerialDevice> listSerialDevices(const std::filesystem::path& root = "/");

// The device a path opens, described as in the list where it is one of them: an assignment may
// name a device that is not plugged in.
std::string describeDevice(const std::string& path, const std::filesystem::path& root = "/");

// The kernel driver of the tty that `path` opens, as sysfs names it ("cdc_acm", "ftdi_sio"); empty
// where sysfs names none (a pseudo-terminal, a device not present).
std::string ttyDriver(const std::string& path, const std::filesystem::path& root = "/");

// Which device each of COM1 to COM4 stands for, as the user assigned them: a path or "loopback".
// Kept in an INI file, [ports] COM1=... .
class PortAssignments {
  public:
    // $XDG_CONFIG_HOME/velnor/ports.ini, or ~/.config/velnor/ports.ini.
    static std::filesystem::path defaultFile();

    explicit PortAssignments(std::filesystem::path file = defaultFile());

    // The device assigned to COM`port`, or nothing.
    std::optional<std::string> deviceOf(int port) const;
    // Assigns `device` to COM`port` (empty: takes the assignment back) and writes the file at
    // once; false when it cannot be written (the assignment then holds for this run only).
    bool assign(int port, const std::string& device);
    const std::filesystem::path& file() const { return file_; }

  private:
    std::filesystem::path file_;
    std::optional<std::string> devices_[4];
};

// What COM`port` stands for: VELNOR_COM<port> where it is set, otherwise the user's assignment,
// otherwise /dev/ttyS<port - 1>.
std::string comPortDevice(int port, const PortAssignments& assignments);

}  // namespace velnor::posix
