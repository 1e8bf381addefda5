#pragma once

#include <string>

#include "core/serial_port.h"

namespace velnor {

// The device that port number `port` stands for: the value of VELNOR_COM<port> when it is set
// (a path or the word "loopback"), otherwise the device the user assigned to it (kept in
// ports.ini under the XDG config folder), otherwise /dev/ttyS<port - 1>.
std::u16string comPortDevice(int port);

// Linux ports: the loopback port for the device "loopback", a terminal device for any other.
PortBackend linuxPortBackend();

}  // namespace velnor
