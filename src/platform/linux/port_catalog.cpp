#include "platform/linux/port_catalog.h"

#include <QString>

#include "platform/posix/serial_devices.h"

namespace velnor {
namespace {

std::u16string fromUtf8(const std::string& text) {
    return QString::fromStdString(text).toStdU16String();
}

std::string toUtf8(const std::u16string& text) {
    return QString::fromStdU16String(text).toStdString();
}

}  // namespace

std::vector<PortCatalog::Device> LinuxPortCatalog::devices() {
    std::vector<Device> devices;
    for (const posix::SerialDevice& device : posix::listSerialDevices())
        devices.push_back({fromUtf8(device.path), fromUtf8(device.description())});
    return devices;
}

std::u16string LinuxPortCatalog::describe(const std::u16string& device) {
    return fromUtf8(posix::describeDevice(toUtf8(device)));
}

std::u16string LinuxPortCatalog::defaultDevice(int port) {
    return u"/dev/ttyS" + QString::number(port - 1).toStdU16String();
}

std::optional<std::u16string> LinuxPortCatalog::assigned(int port) {
    const auto device = posix::PortAssignments::ofUser().deviceOf(port);
    if (!device) return std::nullopt;
    return fromUtf8(*device);
}

Result<> LinuxPortCatalog::assign(int port, const std::u16string& device) {
    const auto kept = posix::PortAssignments::ofUser().assign(port, toUtf8(device));
    if (kept) return {};
    return std::unexpected(Problem{ProblemKind::Other, fromUtf8(kept.error())});
}

std::optional<Problem> LinuxPortCatalog::settingsProblem() {
    const auto problem = posix::PortAssignments::ofUser().problem();
    if (!problem) return std::nullopt;
    return Problem{ProblemKind::Other, fromUtf8(*problem)};
}

}  // namespace velnor
