#pragma once

// The serial devices of this machine as a user would pick them: each by its stable name under
// /dev/serial/by-id where udev gives one, with vendor and model read from sysfs, and the ports
// COM1 to COM4 stand for, kept per user.

#include <cstddef>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix/small_file.h"

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
// Kept in an INI file, [ports] COM1=... ; every other line of it is the user's and stays as it is.
// The file is read again only when it has changed since it was last read (its inode, size,
// modification or change time differ, or it changed too recently for its times to tell) and never
// waited for (posix/small_file.h). One that cannot be read counts
// as no assignments and is never written over. Not for more than one thread at a time.
class PortAssignments {
  public:
    // Larger files are refused: four device paths and the comments around them need far less.
    static constexpr size_t kMaxFileSize = 64 * 1024;

    // $XDG_CONFIG_HOME/velnor/ports.ini, or ~/.config/velnor/ports.ini.
    static std::filesystem::path defaultFile();
    // The assignments of defaultFile(), one object for everything in this process that asks.
    static PortAssignments& ofUser();

    explicit PortAssignments(std::filesystem::path file = defaultFile());

    // The device assigned to COM`port`, or nothing.
    std::optional<std::string> deviceOf(int port) const;
    // Why the file cannot be read, as a sentence that names it ("/home/ann/.config/velnor/ports.ini
    // cannot be read: it is a FIFO, not a regular file"); nothing when it can, or is not there.
    std::optional<std::string> problem() const;
    // Assigns `device` to COM`port` (empty: takes the assignment back) and writes the file at
    // once; when it cannot be written, or the file there cannot be read and is left as it is, the
    // assignment holds for this run only and the sentence says why.
    std::expected<void, std::string> assign(int port, const std::string& device);
    const std::filesystem::path& file() const { return file_; }

  private:
    // What the file said when it was last read.
    struct Read {
        FileVersion version;
        std::string content;                 // the whole file, to write back what is not ours
        std::optional<std::string> problem;  // why it could not be read
        std::optional<std::string> devices[4];
    };
    // The file as it is now, read again only where it changed.
    const Read& current() const;

    std::filesystem::path file_;
    mutable std::optional<Read> read_;
    // Assignments that could not be kept, over what the file says.
    std::optional<std::optional<std::string>> unkept_[4];
};

// The variables VELNOR_COM1 to VELNOR_COM4 that are set, as assignments "VELNOR_COM1=/dev/ttyUSB0":
// what another start must be given to find the same devices.
std::vector<std::string> comPortVariables();

// What COM`port` stands for: VELNOR_COM<port> where it is set, otherwise the user's assignment,
// otherwise /dev/ttyS<port - 1>.
std::string comPortDevice(int port, const PortAssignments& assignments);

}  // namespace velnor::posix
