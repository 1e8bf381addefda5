// The serial control on the FTDI adapter that `scripts/vm-run --ftdi` plugs in (QEMU's usb-serial
// on the ftdi_sio driver), named by VELNOR_VM_FTDI. ftdi_sio holds line changes back until the
// chip's next packet, so the port runs at low latency while it is open, and the driver's own
// setting is back once it closes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <optional>

#include "support/linux_form.h"
#include "support/scoped_env.h"

namespace velnor {
namespace {

// The latency timer as ftdi_sio shows it: 1 while ASYNC_LOW_LATENCY is set, otherwise the chip's.
QByteArray latencyTimer(const QString& device) {
    QFile file("/sys/class/tty/" + QFileInfo(device).fileName() + "/device/latency_timer");
    if (!file.open(QIODevice::ReadOnly)) return "unreadable";
    return file.readAll().trimmed();
}

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
        control.onNotice = [this](const std::u16string& text) {
            notices.append(QString::fromStdU16String(text));
        };
    }

    const QString device = qEnvironmentVariable("VELNOR_VM_FTDI");
    const ScopedEnv com1{"VELNOR_COM1", QFile::encodeName(device)};
    LinuxSerialControl control;  // COM1
    QStringList notices;
};

// Whatever the flag was before the open, it is set while the port is open and is what it was
// after the close: a flag the user set stays set.
TEST_F(FtdiPortTest, ThePortRunsAtLowLatencyWhileOpenAndTheDriversSettingIsBackAfter) {
    for (const bool setBefore : {false, true, false}) {
        SCOPED_TRACE(setBefore ? "set before" : "clear before");
        ASSERT_EQ(lowLatencyFlag(device, setBefore), setBefore);
        const QByteArray timerBefore = latencyTimer(device);

        const auto opened = control.setPortOpen(true);
        ASSERT_TRUE(opened) << QString::fromStdU16String(opened.error().reason).toStdString();
        EXPECT_EQ(control.reportedLines().driver, u"ftdi_sio");
        EXPECT_EQ(lowLatencyFlag(device), true);
        EXPECT_EQ(latencyTimer(device), "1");
        control.setPortOpen(false);

        EXPECT_EQ(lowLatencyFlag(device), setBefore);
        EXPECT_EQ(latencyTimer(device), timerBefore);
    }
    EXPECT_FALSE(notices.join(u'\n').contains("refused low latency"))
        << notices.join(u'\n').toStdString();
}

}  // namespace
}  // namespace velnor
