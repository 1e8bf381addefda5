// The command channel between real processes of the program on a private session bus.

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QThread>

#include "platform/dbus/dbus_channel.h"
#include "support/linux_form.h"
#include "support/log_lines.h"
#include "support/problem_print.h"
#include "support/qt_print.h"
#include "support/recording_input_sink.h"
#include "support/session_bus.h"
#include "support/velnor_process.h"

namespace velnor::test {
namespace {

class CommandChannel : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(sessionBusAddress().isEmpty()) << "dbus-daemon did not start";
        ASSERT_TRUE(waitForRunningCopy()) << "the first copy did not take the bus name";
    }
    // Log lines the running copy wrote since `before` lines.
    QStringList logSince(qsizetype before) { return runningCopyLog().mid(before); }

    VelnorProcess first{{"-cdMode=sendKeys"}};
};

TEST_F(CommandChannel, TheFirstCopyAppliesItsOwnCommandLine) {
    const QStringList log = runningCopyLog();
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.last(), "arg(1) = -cdMode=sendKeys");
    EXPECT_EQ(log.filter("arg(").size(), 1);
}

TEST_F(CommandChannel, ASecondStartHandsOverItsCommandLineAndEnds) {
    const qsizetype before = runningCopyLog().size();
    VelnorProcess second({"-dsrMode=sendKeys", "-bogus"});
    EXPECT_EQ(second.waitForExit(), 0);
    EXPECT_EQ(logSince(before), (QStringList{"DDE LinkExecute:  -dsrMode=sendKeys -bogus",
                                             "arg(1) = -dsrMode=sendKeys", "arg(2) = -bogus",
                                             "Unknown argument:  -bogus"}));
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST_F(CommandChannel, ASecondStartWithoutArgumentsSendsNothing) {
    const qsizetype before = runningCopyLog().size();
    VelnorProcess second({});
    EXPECT_EQ(second.waitForExit(), 0);
    EXPECT_EQ(logSince(before), QStringList());
}

TEST_F(CommandChannel, ArgumentsThatQtWouldTakeAreTheProgramsOwn) {
    const qsizetype before = runningCopyLog().size();
    VelnorProcess second({"-style", "fusion", "-reverse", "-name", "x"});
    EXPECT_EQ(second.waitForExit(), 0);
    const QStringList log = logSince(before);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.first(), "DDE LinkExecute:  -style fusion -reverse -name x");
    EXPECT_TRUE(log.contains("Unknown argument:  -reverse"));
}

TEST_F(CommandChannel, GdbusReachesExecute) {
    const qsizetype before = runningCopyLog().size();
    QProcess gdbus;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", sessionBusAddress());
    gdbus.setProcessEnvironment(env);
    gdbus.start("gdbus", {"call", "--session", "--dest", "org.velnor.Velnor", "--object-path",
                          "/MainForm", "--method", "org.velnor.Velnor.Topic.Execute", "--",
                          "-ctsMode=generateKeys -minimize"});
    ASSERT_TRUE(gdbus.waitForFinished(10000));
    EXPECT_EQ(gdbus.exitCode(), 0) << gdbus.readAllStandardError().toStdString();
    EXPECT_EQ(logSince(before),
              (QStringList{"DDE LinkExecute:  -ctsMode=generateKeys -minimize",
                           "arg(1) = -ctsMode=generateKeys", "arg(2) = -minimize"}));
}

TEST_F(CommandChannel, AnyStringDBusCarriesIsLoggedAndApplied) {
    const QString odd =
        QString::fromUtf8("-x\x01\x7f\xc3\xa9\xf0\x9f\x98\x80 %1 \\n\"'\n09:00:00  forged\n");
    const qsizetype before = runningCopyLog().size();
    EXPECT_EQ(executeOnRunningCopy(odd), "");
    const QStringList log = logSince(before);
    ASSERT_FALSE(log.isEmpty());
    EXPECT_EQ(log.first(),
              "DDE LinkExecute:  " +
                  QString::fromStdU16String(visibleControlCharacters(odd.toStdU16String())));
    EXPECT_FALSE(log.contains("forged")) << "a command forged a log line of its own";
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST_F(CommandChannel, AnOverlongCommandIsRefusedToTheClient) {
    const qsizetype before = runningCopyLog().size();
    EXPECT_NE(executeOnRunningCopy(QString(40000, u'a')), "");
    const QStringList log = logSince(before);
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log.first().startsWith("Arguments of 40000 characters not applied"));
}

// gdbus, as the README shows it.
QString gdbus(const QStringList& arguments) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", sessionBusAddress());
    process.setProcessEnvironment(env);
    process.start("gdbus", QStringList{"call", "--session", "--dest", "org.velnor.Velnor",
                                       "--object-path", "/MainForm", "--method"} +
                               arguments);
    process.waitForFinished(10000);
    return process.readAllStandardOutput() + process.readAllStandardError();
}

// A script follows the lines: each change is a signal, the state can be read, and the window can
// be asked to come forward.
TEST(ScriptsOnTheBus, HearEachLineChangeAndReadThePortAndTheLines) {
    QProcessEnvironment loopback;
    loopback.insert("VELNOR_COM1", "loopback");
    VelnorProcess first({"-port=com1"}, loopback);
    ASSERT_TRUE(waitForRunningCopy());
    QProcess monitor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", sessionBusAddress());
    monitor.setProcessEnvironment(env);
    monitor.start("gdbus", {"monitor", "--session", "--dest", "org.velnor.Velnor"});
    ASSERT_TRUE(monitor.waitForStarted());
    QThread::msleep(300);  // until the monitor listens

    VelnorProcess second({"-dtr"});
    EXPECT_EQ(second.waitForExit(), 0);
    QString heard;
    for (int i = 0; i < 100 && !heard.contains("'CD', true"); ++i) {
        monitor.waitForReadyRead(100);
        heard += monitor.readAllStandardOutput();
    }
    EXPECT_TRUE(heard.contains("org.velnor.Velnor.Topic.LineChanged ('DSR', true)"))
        << heard.toStdString();
    EXPECT_TRUE(heard.contains("org.velnor.Velnor.Topic.LineChanged ('CD', true)"))
        << heard.toStdString();
    monitor.kill();
    monitor.waitForFinished();

    const QString state =
        gdbus({"org.freedesktop.DBus.Properties.GetAll", "org.velnor.Velnor.Topic"});
    for (const char* property :
         {"'Port': <'COM1 (loopback)'>", "'DSR': <true>", "'CD': <true>", "'CTS': <false>"})
        EXPECT_TRUE(state.contains(property)) << property << " in " << state.toStdString();
    EXPECT_EQ(gdbus({"org.velnor.Velnor.Topic.Show"}).trimmed(), "()");
    EXPECT_EQ(first.process().state(), QProcess::Running);
}

TEST(SingleInstance, TwoStartsAtTheSameMomentLeaveOneCopy) {
    ASSERT_FALSE(sessionBusAddress().isEmpty());
    for (int round = 0; round < 3; ++round) {
        VelnorProcess a({});
        VelnorProcess b({});
        ASSERT_TRUE(waitForRunningCopy());
        QThread::msleep(300);
        const int ended = (a.waitForExit(3000) == 0) + (b.waitForExit(100) == 0);
        EXPECT_EQ(ended, 1) << "round " << round;
    }
}

TEST(NoSessionBus, TheWindowRunsAloneAndSaysItCannotBeReached) {
    // Only this test touches the process's own session bus connection, so it starts here.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/velnor-test-bus");
    RecordingInputSink input;
    DBusChannel channel;
    LinuxForm form(input, "-cdMode=sendKeys", &channel);
    form.Form_Load();
    EXPECT_FALSE(form.handedOver());
    const QStringList log = logMessages(form);
    ASSERT_EQ(log.size(), 2);
    EXPECT_TRUE(log[0].startsWith("No D-Bus session bus")) << log[0].toStdString();
    EXPECT_EQ(channel.problem().kind, ProblemKind::Missing);
    EXPECT_EQ(log[1], "arg(1) = -cdMode=sendKeys");
    EXPECT_TRUE(form.optCDSendKeys.value());
}

}  // namespace
}  // namespace velnor::test
