#include "platform/posix/driver_facts.h"

#include <algorithm>

namespace velnor::posix {
namespace {

using namespace std::chrono_literals;

// Read in Linux 6.1. What the watcher finds out by itself is not kept here: cp210x has no
// TIOCMIWAIT (cp210x_device has no tiocmiwait, and cp210x_process_char drops the modem-status
// events of its event-insertion mode), so its lines are polled, each poll a USB control request
// (cp210x_tiocmget); an 8250 UART counts RI on its trailing edge only (8250_port.c,
// serial8250_modem_status, UART_MSR_TERI), and its levels read right in any case.
constexpr DriverFacts kFacts[] = {
    // drivers/usb/class/cdc-acm.c: acm_tty_tiocmget sets TIOCM_CTS whatever the device says, and
    // the SERIAL_STATE notification (acm_process_notification) carries DSR, DCD and RI, no CTS.
    {.driver = "cdc_acm", .reported = {.cts = false, .dsr = true, .cd = true, .ri = true}},
    // drivers/usb/serial/ftdi_sio.c: the modem status comes in the header of every packet
    // (ftdi_process_packet), which the chip sends once per latency-timer period, 16 ms unless set
    // otherwise; set_serial_info takes ASYNC_LOW_LATENCY from any user (ASYNC_USR_MASK) and
    // write_latency_timer then sets the timer to 1 ms, restored when the flag is cleared.
    {.driver = "ftdi_sio", .latencyTimer = 16ms},
};

constexpr DriverFacts kAnyOther{};

}  // namespace

const DriverFacts& driverFacts(std::string_view driver) {
    const auto found = std::ranges::find(kFacts, driver, &DriverFacts::driver);
    return found == std::end(kFacts) ? kAnyOther : *found;
}

}  // namespace velnor::posix
