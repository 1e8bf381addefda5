#pragma once

#include <string>

#include "core/serial_port.h"

namespace velnor::posix {

// Folder of the customary UUCP lock files.
inline constexpr char16_t kLockDir[] = u"/run/lock";

// Opens the serial device `device` for its modem-control lines.
//
// The port is taken exclusively: TIOCEXCL, plus the lock file LCK..<name> holding this process's
// PID in `lockDir` where that folder is writable (TIOCEXCL does not stop root; the lock file
// does). A lock file whose process is alive makes the port busy; one whose process is gone is
// taken over. CLOCAL is set, so a falling CD does not hang the line up, and hardware flow control
// is switched off, so RTS stays ours.
//
// The tty's driver, read from sysfs, tells which lines the port reports (reportedLines(): cdc-acm
// cannot report CTS). Where the driver holds line changes back by a latency timer (ftdi_sio), the
// port is set to low latency for as long as it is open, and a driver that refuses is named once
// through listener.notice().
//
// A watcher thread reports every change of CTS, DSR, CD and RI to `listener`: it sleeps in the
// driver (TIOCMIWAIT) and compares the driver's interrupt counters, looking again every few
// milliseconds for a moment after each change, so an idle open port costs no wakeups. Where the
// driver cannot wait it polls the levels every few milliseconds and says so once through
// listener.notice(); levels() then gives the last sample, which every report agrees with. When the
// device disappears (an unplugged adapter) it reports listener.gone() and stops. Destroying the
// port interrupts the watcher at once, joins it and releases the device and the lock file.
//
// Fails, with the system's reason, when the device is missing (Missing), not permitted
// (Permission, with a hint about the dialout group), busy (Busy), not a terminal or without
// modem-control lines (NotSerialPort), hung up by its unplugged adapter (Gone), or not opened
// within a second (TimedOut).
OpenResult openPort(const std::u16string& device, PortListener& listener,
                    const std::u16string& lockDir = kLockDir);

}  // namespace velnor::posix
