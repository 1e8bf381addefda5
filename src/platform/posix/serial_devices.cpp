#include "platform/posix/serial_devices.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <system_error>

#include "platform/xdg/autostart.h"

namespace velnor::posix {
namespace {

namespace fs = std::filesystem;

// The first line of a small sysfs file, or empty.
std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
    return line;
}

// `path` as it is inside `root`: an absolute path of the device tree.
fs::path inside(const fs::path& root, const fs::path& path) {
    return root / path.relative_path();
}

// The node a path leads to, following links within `root`; empty when it leads nowhere.
std::string nodeOf(const fs::path& root, const std::string& path) {
    std::error_code error;
    fs::path at = inside(root, path);
    for (int links = 0; links < 16 && fs::is_symlink(fs::symlink_status(at, error)); ++links) {
        const fs::path target = fs::read_symlink(at, error);
        if (error) return {};
        at = target.is_absolute() ? inside(root, target) : (at.parent_path() / target);
        at = at.lexically_normal();
    }
    if (!fs::exists(fs::symlink_status(at, error))) return {};
    return "/" + at.lexically_relative(root).generic_string();
}

// Vendor and model of the USB device above a tty node, from sysfs.
void readUsbNames(const fs::path& root, SerialDevice& device) {
    const std::string name = fs::path(device.node).filename();
    std::error_code error;
    fs::path at = fs::canonical(root / "sys/class/tty" / name / "device", error);
    for (; !error && at.has_relative_path() && at != root; at = at.parent_path()) {
        if (!fs::exists(at / "idVendor", error)) continue;
        device.vendor = firstLine(at / "manufacturer");
        device.model = firstLine(at / "product");
        // A device that names itself not at all is told by its ids.
        if (device.vendor.empty() && device.model.empty())
            device.vendor = "USB " + firstLine(at / "idVendor") + ":" + firstLine(at / "idProduct");
        return;
    }
}

SerialDevice deviceAt(const fs::path& root, const std::string& path, const std::string& node) {
    SerialDevice device{.path = path, .node = node, .vendor = {}, .model = {}};
    readUsbNames(root, device);
    return device;
}

}  // namespace

std::string SerialDevice::description() const {
    std::string names = vendor;
    if (!model.empty()) names += (names.empty() ? "" : " ") + model;
    return names.empty() ? node : names + " (" + node + ")";
}

std::vector<SerialDevice> listSerialDevices(const fs::path& root) {
    std::vector<SerialDevice> devices;
    std::set<std::string> nodes;
    std::error_code error;
    std::vector<std::string> byId;
    for (const auto& entry : fs::directory_iterator(root / "dev/serial/by-id", error))
        byId.push_back("/dev/serial/by-id/" + entry.path().filename().string());
    std::ranges::sort(byId);
    for (const std::string& path : byId) {
        const std::string node = nodeOf(root, path);
        if (node.empty()) continue;
        nodes.insert(node);
        devices.push_back(deviceAt(root, path, node));
    }
    std::vector<std::string> bare;
    for (const auto& entry : fs::directory_iterator(root / "sys/class/tty", error)) {
        const std::string name = entry.path().filename();
        const std::string node = "/dev/" + name;
        if ((name.starts_with("ttyUSB") || name.starts_with("ttyACM")) && !nodes.contains(node) &&
            fs::exists(inside(root, node), error))
            bare.push_back(node);
    }
    std::ranges::sort(bare);
    for (const std::string& node : bare) devices.push_back(deviceAt(root, node, node));
    return devices;
}

std::string describeDevice(const std::string& path, const fs::path& root) {
    if (path == "loopback") return "the built-in loopback plug";
    const std::string node = nodeOf(root, path);
    if (node.empty()) return path + " (not present)";
    const SerialDevice device = deviceAt(root, path, node);
    return device.vendor.empty() && device.model.empty() && node == path
               ? path
               : device.description() + (path == node ? "" : ", " + path);
}

std::string ttyDriver(const std::string& path, const fs::path& root) {
    const std::string node = nodeOf(root, path);
    if (node.empty()) return {};
    std::error_code error;
    const fs::path driver = fs::read_symlink(
        root / "sys/class/tty" / fs::path(node).filename() / "device/driver", error);
    return error ? std::string() : driver.filename().string();
}

fs::path PortAssignments::defaultFile() {
    return xdg::configHome() / "velnor/ports.ini";
}

PortAssignments::PortAssignments(fs::path file) : file_(std::move(file)) {
    std::ifstream in(file_);
    std::string line;
    bool inPorts = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.starts_with('[')) {
            inPorts = line == "[ports]";
            continue;
        }
        if (!inPorts || line.size() < 6 || !line.starts_with("COM") || line[4] != '=') continue;
        const int port = line[3] - '0';
        if (port >= 1 && port <= 4 && line.size() > 5) devices_[port - 1] = line.substr(5);
    }
}

std::optional<std::string> PortAssignments::deviceOf(int port) const {
    if (port < 1 || port > 4) return std::nullopt;
    return devices_[port - 1];
}

bool PortAssignments::assign(int port, const std::string& device) {
    if (port < 1 || port > 4) return false;
    // A line break would end the entry early and start another one.
    if (device.find_first_of("\r\n") != std::string::npos) return false;
    devices_[port - 1] = device.empty() ? std::nullopt : std::optional<std::string>(device);
    std::error_code error;
    fs::create_directories(file_.parent_path(), error);
    const fs::path written = file_.string() + ".new";
    {
        std::ofstream out(written, std::ios::trunc);
        out << "# The devices COM1 to COM4 stand for in Velnor.\n[ports]\n";
        for (int n = 1; n <= 4; ++n)
            if (devices_[n - 1]) out << "COM" << n << '=' << *devices_[n - 1] << '\n';
        if (!out.flush()) return false;
    }
    // Renamed into place, so a reader never sees half a file.
    fs::rename(written, file_, error);
    return !error;
}

std::string comPortDevice(int port, const PortAssignments& assignments) {
    const std::string variable = "VELNOR_COM" + std::to_string(port);
    if (const char* named = std::getenv(variable.c_str()); named && *named) return named;
    if (const auto assigned = assignments.deviceOf(port)) return *assigned;
    return "/dev/ttyS" + std::to_string(port - 1);
}

}  // namespace velnor::posix
