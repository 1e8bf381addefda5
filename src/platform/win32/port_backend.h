#pragma once

#include "core/port_catalog.h"
#include "core/serial_port.h"

namespace velnor {

// Ports as Windows numbers them: port n is the device the environment variable VELNOR_COM<n> names
// (another device or "loopback"), else the one `catalog` has assigned to it, else `\\.\COMn`.
PortBackend win32PortBackend(PortCatalog& catalog);

}  // namespace velnor
