#include "platform/port_backend.h"

#include <QString>

#include "platform/loopback/loopback_port.h"
#include "platform/posix/posix_serial_port.h"

namespace velnor {

std::u16string comPortDevice(int port) {
    const QString named = qEnvironmentVariable(QStringLiteral("VELNOR_COM%1").arg(port).toLatin1());
    if (!named.isEmpty()) return named.toStdU16String();
    return QStringLiteral("/dev/ttyS%1").arg(port - 1).toStdU16String();
}

PortBackend linuxPortBackend() {
    return {.deviceOf = comPortDevice,
            .open = [](const std::u16string& device, PortListener& listener) -> OpenResult {
                if (device == u"loopback") return std::make_unique<LoopbackPort>(listener);
                return posix::openPort(device, listener);
            }};
}

}  // namespace velnor
