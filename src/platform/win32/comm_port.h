#pragma once

#include <string>

#include "core/serial_port.h"

namespace velnor::win32 {

// Opens the Windows COM port `device` ("\\.\COM1") exclusively, for its modem lines: DTR and RTS
// through EscapeCommFunction, the input levels through GetCommModemStatus. A watcher thread in an
// overlapped WaitCommEvent reports each change of CTS, DSR, RLSD (CD) and each ring to `listener`,
// and listener.gone() when the device goes away. Destroying the port ends the watcher's wait at
// once, joins it and closes the device.
//
// Fails, with the system's reason, when the device is missing, held by another program, not a
// serial port, or cannot report its modem lines; the error names the device.
OpenResult openPort(const std::u16string& device, PortListener& listener);

}  // namespace velnor::win32
