#include "platform/posix/serial_devices.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string_view>
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

// The device VELNOR_COM<port> names, where it is set and not empty.
std::optional<std::string> namedDevice(int port) {
    const std::string variable = "VELNOR_COM" + std::to_string(port);
    const char* named = std::getenv(variable.c_str());
    if (!named || !*named) return std::nullopt;
    return named;
}

// One line of the settings file.
struct IniLine {
    std::string_view text;  // as written, its line break included
    std::string_view body;  // without the line break and a carriage return before it
    bool portsHeader = false;
    int port = 0;  // n for an entry "COMn=..." (1 to 4) of the section [ports], else 0
};

std::vector<IniLine> iniLines(std::string_view content) {
    std::vector<IniLine> lines;
    bool inPorts = false;
    while (!content.empty()) {
        const size_t end = std::min(content.find('\n'), content.size() - 1) + 1;
        IniLine line{.text = content.substr(0, end), .body = content.substr(0, end)};
        content.remove_prefix(end);
        if (line.body.ends_with('\n')) line.body.remove_suffix(1);
        if (line.body.ends_with('\r')) line.body.remove_suffix(1);
        if (line.body.starts_with('[')) {
            inPorts = line.portsHeader = line.body == "[ports]";
        } else if (inPorts && line.body.size() >= 5 && line.body.starts_with("COM") &&
                   line.body[3] >= '1' && line.body[3] <= '4' && line.body[4] == '=') {
            line.port = line.body[3] - '0';
        }
        lines.push_back(line);
    }
    return lines;
}

// `content` with the entries of [ports] replaced by `devices`; every other line as it was.
std::string withDevices(std::string_view content, const std::optional<std::string> (&devices)[4]) {
    std::string entries;
    for (int n = 1; n <= 4; ++n)
        if (devices[n - 1]) entries += "COM" + std::to_string(n) + "=" + *devices[n - 1] + "\n";
    std::string written;
    bool placed = false;
    for (const IniLine& line : iniLines(content)) {
        if (line.port > 0) continue;
        written += line.text;
        if (!line.portsHeader || placed) continue;
        if (!line.text.ends_with('\n')) written += '\n';
        written += entries;
        placed = true;
    }
    if (placed) return written;
    if (written.empty()) written = "# The devices COM1 to COM4 stand for in Velnor.\n";
    if (!written.ends_with('\n')) written += '\n';
    return written + "[ports]\n" + entries;
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

PortAssignments& PortAssignments::ofUser() {
    // Made again only where the folder it is in has been changed since (tests do).
    static std::optional<PortAssignments> user;
    if (const fs::path file = defaultFile(); !user || user->file() != file) user.emplace(file);
    return *user;
}

PortAssignments::PortAssignments(fs::path file) : file_(std::move(file)) {}

const PortAssignments::Read& PortAssignments::current() const {
    const FileVersion version = fileVersion(file_);
    if (read_ && read_->version == version && version.settled) return *read_;
    read_.emplace(Read{.version = version, .content = {}, .problem = {}, .devices = {}});
    auto content = readSmallFile(file_, kMaxFileSize);
    if (!content) {
        if (!content.error().missing)
            read_->problem = file_.string() + " cannot be read: " + content.error().reason;
        return *read_;
    }
    read_->content = std::move(*content);
    for (const IniLine& line : iniLines(read_->content))
        if (line.port > 0 && line.body.size() > 5)
            read_->devices[line.port - 1] = std::string(line.body.substr(5));
    return *read_;
}

std::optional<std::string> PortAssignments::deviceOf(int port) const {
    if (port < 1 || port > 4) return std::nullopt;
    if (unkept_[port - 1]) return *unkept_[port - 1];
    return current().devices[port - 1];
}

std::optional<std::string> PortAssignments::problem() const {
    return current().problem;
}

std::expected<void, std::string> PortAssignments::assign(int port, const std::string& device) {
    if (port < 1 || port > 4) return std::unexpected("there is no COM" + std::to_string(port));
    // A line break would end the entry early and start another one.
    if (device.find_first_of("\r\n") != std::string::npos)
        return std::unexpected("a device's name cannot hold a line break");
    unkept_[port - 1].emplace(device.empty() ? std::nullopt : std::optional<std::string>(device));
    const Read& read = current();
    if (read.problem) return std::unexpected(*read.problem + "; it is left as it is");
    std::optional<std::string> devices[4];
    for (int n = 0; n < 4; ++n) devices[n] = unkept_[n] ? *unkept_[n] : read.devices[n];
    if (auto written = replaceFile(file_, withDevices(read.content, devices)); !written)
        return std::unexpected(file_.string() + " cannot be written: " + written.error());
    for (auto& unkept : unkept_) unkept.reset();
    return {};
}

std::vector<std::string> comPortVariables() {
    std::vector<std::string> assignments;
    for (int port = 1; port <= 4; ++port)
        if (const auto named = namedDevice(port))
            assignments.push_back("VELNOR_COM" + std::to_string(port) + "=" + *named);
    return assignments;
}

std::string comPortDevice(int port, const PortAssignments& assignments) {
    if (const auto named = namedDevice(port)) return *named;
    if (const auto assigned = assignments.deviceOf(port)) return *assigned;
    return "/dev/ttyS" + std::to_string(port - 1);
}

}  // namespace velnor::posix
