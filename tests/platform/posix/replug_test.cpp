// An adapter unplugged and plugged in again on the Linux backends (the POSIX port over the fake
// modem driver, the inotify wait). COM1 is a link to a pseudo-terminal, as by-id links are, and an
// unplug makes its modem requests fail with EIO before the link goes, as a real hang-up does.

#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <QRegularExpression>
#include <QTest>
#include <atomic>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

#include "support/fake_modem_driver.h"
#include "support/linux_form.h"
#include "support/log_lines.h"
#include "support/qt_print.h"
#include "support/recording_input_sink.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace velnor {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// One plugging in; kept to the end, as the window may still hold the device after the unplug.
struct Adapter {
    PseudoTerminal terminal;
    FakeModemDriver modem{terminal.path(), FakeModemDriver::Waiting::LikeCdcAcm};
};

class ReplugTest : public ::testing::Test {
  protected:
    void SetUp() override {
        form.Form_Load();
        plugIn(0);
        form.optCom1.setValue(true);
        ASSERT_TRUE(form.MSComm1.PortOpen()) << logMessages(form).join(u'\n').toStdString();
    }

    // A new device with the input lines `inputs`, linked in one step as udev does.
    void plugIn(int inputs) {
        adapters.push_back(std::make_unique<Adapter>());
        adapters.back()->modem.setInputs(inputs);
        const fs::path staged = link.string() + ".new";
        fs::create_symlink(adapters.back()->terminal.path().toStdString(), staged);
        fs::rename(staged, link);
    }
    void hangUp() { adapters.back()->modem.unplug(); }
    void removeNode() { fs::remove(link); }

    // The log without the lines that describe the adapter at each open.
    QStringList log() const {
        QStringList lines = logMessages(form);
        lines.removeIf([this](const QString& line) { return line.startsWith(com1 + ": "); });
        return lines;
    }
    qsizetype logged(const QString& start) const {
        return log().filter(QRegularExpression('^' + QRegularExpression::escape(start))).size();
    }
    bool followsLines(bool dsr, bool cd) const {
        return form.MSComm1.PortOpen() && form.dsrHandler.flag() == dsr &&
               form.cdHandler.flag() == cd;
    }

    const test::TempDir temp;
    const fs::path link = temp.path() / "usb-pedal";
    const QString com1 = QStringLiteral("COM1 (%1)").arg(QString::fromStdString(link.string()));
    const ScopedEnv com1Device{"VELNOR_COM1", link.c_str()};
    std::vector<std::unique_ptr<Adapter>> adapters;
    RecordingInputSink input;
    LinuxForm form{input, ""};  // DSR holds Shift (16), CD Control (17)
};

// The attempt made while the hung-up node is still there fails; the new device opens with its
// lines followed from their present level.
TEST_F(ReplugTest, AHangUpBeforeTheNodeGoesEndsOpenOnTheNewDevice) {
    adapters.back()->modem.setInputs(TIOCM_DSR);
    ASSERT_TRUE(processEventsUntil([&] { return followsLines(true, false); }));
    hangUp();
    ASSERT_TRUE(processEventsUntil([&] { return logged(com1 + " cannot be opened yet: ") == 1; }))
        << log().join(u'\n').toStdString();
    EXPECT_EQ(input.held(16), 0) << "the key of the lost port's line is released";
    removeNode();
    QTest::qWait(300);  // the wait looks again, and finds no node
    plugIn(TIOCM_DSR | TIOCM_CD);
    ASSERT_TRUE(processEventsUntil([&] { return followsLines(true, true); }))
        << log().join(u'\n').toStdString();
    EXPECT_EQ(
        log(),
        (QStringList{"SetComPort 1", com1 + " is gone: Input/output error; the port is released",
                     com1 + " cannot be opened yet: the device has no modem-control lines "
                            "(Input/output error); trying again until it opens or another "
                            "port is chosen",
                     com1 + " is back; the port is opened again"}));
    EXPECT_EQ(input.held(16) + input.held(17), 2);
}

// Replugged every few milliseconds: once the device stays it is open with its lines followed, and
// each loss is told with one reopen and at most one failure.
TEST_F(ReplugTest, AFastReplugLoopEndsOpenWithTheLinesFollowed) {
    constexpr int kReplugs = 100;
    std::atomic<bool> done = false;
    std::thread plugger([&] {
        for (int replug = 0; replug < kReplugs; ++replug) {
            hangUp();
            std::this_thread::sleep_for(1ms);
            removeNode();
            std::this_thread::sleep_for(2ms);
            plugIn(replug % 2 == 0 ? TIOCM_DSR : TIOCM_CD);
            std::this_thread::sleep_for(2ms);
        }
        adapters.back()->modem.setInputs(TIOCM_DSR);
        done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    plugger.join();
    ASSERT_TRUE(processEventsUntil([&] { return followsLines(true, false); }))
        << log().join(u'\n').toStdString();
    EXPECT_EQ(input.held(16) + input.held(17), 1);
    const qsizetype losses = logged(com1 + " is gone: ");
    EXPECT_GE(losses, 1);
    EXPECT_LE(logged(com1 + " cannot be opened yet: "), losses);
    EXPECT_EQ(logged(com1 + " is back; "), losses) << log().join(u'\n').toStdString();
    EXPECT_EQ(logged("SetComPort"), 1) << "the selection stayed on COM1 throughout";
}

}  // namespace
}  // namespace velnor
