// Looking up the device of a COM port, as opening a port, each button's hint and the port menu do:
// the assignments kept in memory and the file only looked at (stat), against reading the whole
// file at every look, as the program did before it kept them.
#include <benchmark/benchmark.h>

#include <fstream>
#include <thread>

#include "platform/posix/serial_devices.h"
#include "samples.h"
#include "support/temp_dir.h"

namespace {

void BM_DeviceOfAnUnchangedFile(benchmark::State& state) {
    const velnor::test::TempDir folder;
    const std::filesystem::path file = folder.path() / "ports.ini";
    std::ofstream(file) << "# The devices COM1 to COM4 stand for in Velnor.\n[ports]\n"
                           "COM1=/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0\n"
                           "COM2=loopback\n";
    // Until its times are older than the file system's clock tick, it is read at every look.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    const velnor::posix::PortAssignments kept(file);
    velnor::bench::alternate(
        state, [&] { benchmark::DoNotOptimize(kept.deviceOf(1)); },
        [&] { benchmark::DoNotOptimize(velnor::posix::PortAssignments(file).deviceOf(1)); },
        "read_");
}
BENCHMARK(BM_DeviceOfAnUnchangedFile)->Apply(velnor::bench::sampled<5000>);

}  // namespace
