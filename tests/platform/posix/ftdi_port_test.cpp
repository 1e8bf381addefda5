// The FTDI adapter of `scripts/vm-run --ftdi` (ftdi_sio), named by VELNOR_VM_FTDI: ftdi_sio holds
// line changes back until the chip's next packet, so the port runs at low latency while open.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QFile>
#include <optional>

#include "support/linux_form.h"
#include "support/scoped_env.h"

namespace velnor {
namespace {

// ASYNC_LOW_LATENCY of the port, first set to `set` where that is given; nullopt where the driver
// does not answer.
std::optional<bool> lowLatencyFlag(const QString& device, std::optional<bool> set = std::nullopt) {
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    serial_struct serial{};
    bool answered = ::ioctl(fd, TIOCGSERIAL, &serial) == 0;
    if (answered && set) {
        serial.flags = *set ? serial.flags | ASYNC_LOW_LATENCY : serial.flags & ~ASYNC_LOW_LATENCY;
        answered = ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
    }
    ::close(fd);
    if (!answered) return std::nullopt;
    return (serial.flags & ASYNC_LOW_LATENCY) != 0;
}

class FtdiPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (device.isEmpty())
            GTEST_SKIP() << "runs in the virtual machine of scripts/vm-run --ftdi";
        ASSERT_TRUE(QFile::exists(device)) << device.toStdString();
    }

    const QString device = qEnvironmentVariable("VELNOR_VM_FTDI");
    const ScopedEnv com1{"VELNOR_COM1", QFile::encodeName(device)};
    LinuxSerialControl control;  // COM1
};

// A flag the user set before the open stays set after the close.
TEST_F(FtdiPortTest, ThePortRunsAtLowLatencyWhileOpenAndTheDriversSettingIsBackAfter) {
    for (const bool setBefore : {false, true, false}) {
        SCOPED_TRACE(setBefore ? "set before" : "clear before");
        ASSERT_EQ(lowLatencyFlag(device, setBefore), setBefore);
        const auto opened = control.setPortOpen(true);
        ASSERT_TRUE(opened) << QString::fromStdU16String(opened.error().reason).toStdString();
        EXPECT_EQ(control.reportedLines().driver, u"ftdi_sio");
        EXPECT_EQ(lowLatencyFlag(device), true);
        control.setPortOpen(false);

        EXPECT_EQ(lowLatencyFlag(device), setBefore);
    }
}

}  // namespace
}  // namespace velnor
