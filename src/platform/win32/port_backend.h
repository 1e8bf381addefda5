#pragma once

#include "core/serial_port.h"

namespace velnor {

// Ports as Windows numbers them: port n is `\\.\COMn`, unless the environment variable
// VELNOR_COM<n> names another device or "loopback".
PortBackend win32PortBackend();

}  // namespace velnor
