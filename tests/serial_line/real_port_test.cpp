// The POSIX backend on a real driver, inside the virtual machine of scripts/vm-run: /dev/ttyACM0
// is a cdc-acm port whose far end is the USB serial gadget /dev/ttyGS0. Opening the gadget raises
// DSR and CD on the port, closing it drops them, and removing g_serial unplugs the port.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <future>
#include <thread>

#include "platform/posix/posix_serial_port.h"
#include "recording_listener.h"
#include "test_window.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;
using Codes = std::vector<qint16>;

constexpr char kPort[] = "/dev/ttyACM0";
constexpr char kFarEnd[] = "/dev/ttyGS0";

// The far end of the port held open: DSR and CD up for as long as it lives.
class FarEnd {
  public:
    FarEnd() : fd_(::open(kFarEnd, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
    ~FarEnd() { close(); }
    bool isOpen() const { return fd_ >= 0; }
    void close() {
        if (fd_ >= 0) ::close(std::exchange(fd_, -1));
    }

  private:
    int fd_;
};

class RealPortTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!QFile::exists(kFarEnd))
            GTEST_SKIP() << "runs in the virtual machine of scripts/vm-run";
    }
    OpenResult open() { return posix::openPort(kPort, listener, lockDir.path()); }
    // The gadget back, for the tests that follow: the port returns under its old name.
    static void plugBackIn() {
        ASSERT_EQ(std::system("modprobe g_serial"), 0);
        for (int tries = 0; tries < 200 && !(QFile::exists(kPort) && QFile::exists(kFarEnd));
             ++tries)
            std::this_thread::sleep_for(50ms);
        ASSERT_TRUE(QFile::exists(kPort));
    }
    Codes sortedCodes() const {
        Codes codes = listener.codes();
        std::sort(codes.begin(), codes.end());
        return codes;
    }

    QTemporaryDir lockDir;
    RecordingListener listener;
};

TEST_F(RealPortTest, TheFarEndsOpenAndCloseAreDsrAndCdChanges) {
    const OpenResult port = open();
    ASSERT_TRUE(port) << port.error().reason.toStdString();
    std::this_thread::sleep_for(100ms);  // let the watcher reach its wait
    FarEnd farEnd;
    ASSERT_TRUE(farEnd.isOpen());
    ASSERT_TRUE(listener.awaitCodes(2));
    EXPECT_EQ(sortedCodes(), (Codes{comEvDSR, comEvCD}));
    const ModemLevels up = (*port)->levels();
    EXPECT_TRUE(up.dsr && up.cd);
    farEnd.close();
    ASSERT_TRUE(listener.awaitCodes(4));
    EXPECT_EQ(sortedCodes(), (Codes{comEvDSR, comEvDSR, comEvCD, comEvCD}));
    const ModemLevels down = (*port)->levels();
    EXPECT_FALSE(down.dsr || down.cd);
    EXPECT_TRUE(listener.notices().isEmpty()) << "cdc-acm waits in the driver; nothing is polled";
}

TEST_F(RealPortTest, ClosingWhileTheWatcherWaitsReturnsAtOnce) {
    OpenResult port = open();
    ASSERT_TRUE(port);
    std::this_thread::sleep_for(100ms);
    auto closing = std::async(std::launch::async, [&] { port->reset(); });
    ASSERT_EQ(closing.wait_for(10s), std::future_status::ready) << "the watcher kept waiting";
    EXPECT_TRUE(listener.lost().isEmpty());
}

TEST_F(RealPortTest, TheWindowFollowsTheFarEndUntilTheAdapterIsUnplugged) {
    const ScopedEnv com1("VELNOR_COM1", kPort);
    RecordingInputSink input;
    MainForm form(input, "");
    form.Form_Load();
    form.optCom1->setChecked(true);
    ASSERT_TRUE(form.MSComm1.PortOpen()) << logMessages(form).join(u'\n').toStdString();
    const auto injected = [&](qsizetype count) {
        return processEventsUntil([&] { return input.events.size() >= count; });
    };

    FarEnd farEnd;
    ASSERT_TRUE(injected(2)) << "DSR " << form.MSComm1.DSRHolding() << " CD "
                             << form.MSComm1.CDHolding() << " events "
                             << input.events.join(',').toStdString();
    farEnd.close();
    ASSERT_TRUE(injected(4));
    QStringList events = input.events;
    std::sort(events.begin(), events.begin() + 2);
    std::sort(events.begin() + 2, events.end());
    EXPECT_EQ(events, (QStringList{"key 16 down", "key 17 down", "key 16 up", "key 17 up"}));

    ASSERT_EQ(std::system("rmmod g_serial"), 0);
    ASSERT_TRUE(processEventsUntil([&] { return !form.MSComm1.PortOpen(); }));
    EXPECT_EQ(logMessages(form),
              (QStringList{"SetComPort 1",
                           "COM1 (/dev/ttyACM0) is gone: No such device; the port is released",
                           "SetComPort none"}));
    EXPECT_TRUE(form.optComNone->isChecked());
    plugBackIn();
}

}  // namespace
}  // namespace velnor
