// The port failing under the window: an unplugged port, and a port another program holds.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <thread>

#include "platform/loopback/loopback_port.h"
#include "support/fake_modem_driver.h"
#include "support/linux_form.h"
#include "support/log_lines.h"
#include "support/problem_print.h"
#include "support/qt_print.h"
#include "support/recording_input_sink.h"
#include "support/scoped_env.h"

namespace velnor {
namespace {

// The window after Form_Load with `arguments`, COM1 the loopback port.
class FaultWindow {
  public:
    explicit FaultWindow(const QString& arguments) : form(input, arguments) {
        form.Form_Load();
        settle();
    }
    // Handles what is queued; returns the input injected and the log written since last time.
    std::pair<QStringList, QStringList> settle() {
        QCoreApplication::processEvents();
        const QStringList log = logMessages(form);
        const QStringList added = log.mid(logged_);
        logged_ = log.size();
        return {std::exchange(input.events, {}), added};
    }
    void expectLinesOff() {
        for (const SignalHandler* handler : {&form.dsrHandler, &form.ctsHandler, &form.cdHandler}) {
            EXPECT_FALSE(handler->flag());
            EXPECT_EQ(handler->box()->fillColor(), kIndicatorOff);
        }
    }

    ScopedEnv com1{"VELNOR_COM1", "loopback"};
    RecordingInputSink input;
    LinuxForm form;

  private:
    qsizetype logged_ = 0;
};

const QString kGone =
    "COM1 (loopback) is gone: the loopback port was unplugged; the port is released";

TEST(UnpluggedPort, EveryLineThatWasOnGoesOffAndItsKeyIsReleased) {
    // DSR holds Shift, CTS typed Ctrl+V once, CD (Generate Keys, no text) did nothing.
    FaultWindow window("-port=com1 -ctsMode=sendKeys -cdMode=generateKeys -dtr -rts");
    ASSERT_TRUE(window.form.dsrHandler.flag());
    ASSERT_TRUE(window.form.ctsHandler.flag());
    ASSERT_TRUE(window.form.cdHandler.flag());
    LoopbackPort* port = loopbackPort(window.form);
    std::thread([port] { port->unplug(); }).join();

    const auto [input, log] = window.settle();
    EXPECT_EQ(input, QStringList{"key 16 up"});
    window.expectLinesOff();
    EXPECT_EQ(log, (QStringList{kGone, "SetComPort none", "optDTROff_Click", "optRTSOff_Click"}));
    EXPECT_FALSE(window.form.MSComm1.PortOpen());
    EXPECT_TRUE(window.form.optComNone.value());

    // The program goes on: the port can be chosen again, and its lines act.
    window.form.ProcessArguments(u"-port=com1 -dtr");
    EXPECT_EQ(window.settle().first, QStringList{"key 16 down"});
    EXPECT_TRUE(window.form.cdHandler.flag());
}

TEST(UnpluggedPort, ChoosingNoneReleasesAsMuch) {
    FaultWindow window("-port=com1 -dtr");
    window.form.optComNone.setValue(true);
    const auto [input, log] = window.settle();
    EXPECT_EQ(input, (QStringList{"key 16 up", "key 17 up"}));
    EXPECT_EQ(log, (QStringList{"SetComPort none", "optDTROff_Click"}));
    window.expectLinesOff();
}

// The UUCP lock file of `device`, such as /run/lock/LCK..pts_3 for /dev/pts/3.
QString lockFileOf(const QString& device) {
    return "/run/lock/LCK.." + device.mid(5).replace('/', '_');
}

TEST(PortHeldByAnotherProgram, IsBusyTheSelectionGoesBackToNoneAndTheProgramGoesOn) {
    const PseudoTerminal terminal;
    const FakeModemDriver modem(terminal.path());
    ScopedEnv com2("VELNOR_COM2", terminal.path().toLocal8Bit());
    QProcess holder;
    holder.start(PORT_HOLDER, {terminal.path(), lockFileOf(terminal.path())});
    ASSERT_TRUE(holder.waitForReadyRead(10000)) << "the holder did not take the port";
    ASSERT_EQ(holder.readLine().trimmed(), "held");

    FaultWindow window("-port=com2");
    const QStringList log = logMessages(window.form);
    ASSERT_EQ(log.size(), 4) << log.join('\n').toStdString();
    EXPECT_EQ(log[1], "SetComPort 2");
    const QString refusal = log[2];
    EXPECT_TRUE(refusal.startsWith("COM2 (" + terminal.path() + ") cannot be opened: "))
        << refusal.toStdString();
    EXPECT_TRUE(refusal.contains(QString("busy, held by process %1").arg(holder.processId())) ||
                refusal.contains("another program holds the port"))
        << refusal.toStdString();
    EXPECT_EQ(log[3], "SetComPort none");
    EXPECT_TRUE(window.form.optComNone.value());
    EXPECT_FALSE(window.form.MSComm1.PortOpen());
    const auto refused = window.form.MSComm1.setPortOpen(true);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, ProblemKind::Busy) << "whether the lock file or TIOCEXCL told";

    // Once the other program lets go, the same port opens.
    holder.closeWriteChannel();
    ASSERT_TRUE(holder.waitForFinished(10000));
    window.form.optCom2.setValue(true);
    EXPECT_TRUE(window.form.MSComm1.PortOpen());
    EXPECT_TRUE(window.form.optCom2.value());
}

}  // namespace
}  // namespace velnor
