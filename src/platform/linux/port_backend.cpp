#include "platform/linux/port_backend.h"

#include "platform/loopback/loopback_port.h"
#include "platform/posix/device_watch.h"
#include "platform/posix/posix_serial_port.h"
#include "platform/posix/serial_devices.h"
#include "platform/qt/text.h"

namespace velnor {

std::u16string comPortDevice(int port) {
    const std::string device = posix::comPortDevice(port, posix::PortAssignments::ofUser());
    return QString::fromStdString(device).toStdU16String();
}

PortBackend linuxPortBackend() {
    return {.deviceOf = comPortDevice,
            .open = [](const std::u16string& device, PortListener& listener) -> OpenResult {
                if (device == u"loopback") return std::make_unique<LoopbackPort>(listener);
                OpenResult opened = posix::openPort(device, listener);
                // Which adapter the port is, where its name does not say it already.
                const std::string path = toQString(device).toStdString();
                const std::string described = posix::describeDevice(path);
                if (opened && described != path)
                    listener.notice(QString::fromStdString(described).toStdU16String());
                return opened;
            },
            .watchReturn = [](const std::u16string& device,
                              std::function<void()> back) -> std::unique_ptr<DeviceWatch> {
                if (device == u"loopback") return nullptr;
                return std::make_unique<posix::DeviceReturnWatch>(toQString(device).toStdString(),
                                                                  std::move(back));
            }};
}

}  // namespace velnor
