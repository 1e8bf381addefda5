#pragma once

// What the kernel's serial drivers can tell of the modem lines, and how fast, as their sources
// show: the one place these facts are kept.

#include <chrono>
#include <string_view>

#include "core/serial_port.h"

namespace velnor::posix {

struct DriverFacts {
    std::string_view driver;  // as sysfs names it: "cdc_acm"
    // The input lines the driver reports at all.
    ModemLevels reported{.cts = true, .dsr = true, .cd = true, .ri = true};
    // How long the adapter may hold a line change back by default, until its next packet: the
    // driver shortens it to 1 ms for ASYNC_LOW_LATENCY. 0 where changes are reported as they come.
    std::chrono::milliseconds latencyTimer{0};
};

// The facts of the driver that sysfs names `driver`; a driver not in the table (or none) is taken
// to report every line as it changes.
const DriverFacts& driverFacts(std::string_view driver);

}  // namespace velnor::posix
