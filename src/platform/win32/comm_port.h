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
// Fails, with the system's reason, when the device is missing (Missing), held by another program
// (Busy), or not a serial port that reports its modem lines (NotSerialPort).
OpenResult openPort(const std::u16string& device, PortListener& listener);

}  // namespace velnor::win32
