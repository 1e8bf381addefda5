// Command-channel clients that vanish before their answer: the running copy applies each command
// and goes on serving.

#include <gtest/gtest.h>
#include <signal.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QProcess>

#include "support/qt_print.h"
#include "support/session_bus.h"
#include "support/velnor_process.h"

namespace velnor::test {
namespace {

// dbus-send with `options`, delivering `command`; waits for it to end.
void dbusSend(const QStringList& options, const QString& command) {
    QProcess client;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", sessionBusAddress());
    client.setProcessEnvironment(env);
    client.start(
        "dbus-send",
        QStringList{"--session", "--dest=org.velnor.Velnor", "--type=method_call"} + options +
            QStringList{"/MainForm", "org.velnor.Velnor.Topic.Execute", "string:" + command});
    ASSERT_TRUE(client.waitForFinished(10000));
}

class VanishingClients : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(sessionBusAddress().isEmpty()) << "dbus-daemon did not start";
        ASSERT_TRUE(waitForRunningCopy()) << "the running copy did not take the bus name";
        before = runningCopyLog().size();
    }
    // Holds the running copy still, so that every call sent meanwhile is still unanswered when
    // its client goes.
    void pause() { ASSERT_EQ(kill(velnor.process().processId(), SIGSTOP), 0); }
    void resume() { ASSERT_EQ(kill(velnor.process().processId(), SIGCONT), 0); }

    // The running copy still answers, and has applied everything logged since SetUp.
    QStringList logSince() {
        EXPECT_EQ(executeOnRunningCopy("-ctsMode=sendKeys"), "");
        EXPECT_EQ(velnor.process().state(), QProcess::Running);
        return runningCopyLog().mid(before);
    }

    VelnorProcess velnor{{}};
    qsizetype before = 0;
};

TEST_F(VanishingClients, AClientThatWantsNoAnswerAndEnds) {
    dbusSend({}, "-dsrMode=sendKeys");
    EXPECT_EQ(logSince(),
              (QStringList{"DDE LinkExecute:  -dsrMode=sendKeys", "arg(1) = -dsrMode=sendKeys",
                           "DDE LinkExecute:  -ctsMode=sendKeys", "arg(1) = -ctsMode=sendKeys"}));
}

TEST_F(VanishingClients, ClientsThatGiveUpWaitingAndEndBeforeTheAnswer) {
    pause();
    for (const char* command : {"-dsrMode=generateKeys", "-bogus", "-cdMode=emulateKey"})
        dbusSend({"--print-reply", "--reply-timeout=50"}, command);
    resume();
    const QStringList log = logSince();
    EXPECT_EQ(log.filter("DDE LinkExecute:").size(), 4);
    EXPECT_TRUE(log.contains("arg(1) = -dsrMode=generateKeys"));
    EXPECT_TRUE(log.contains("Unknown argument:  -bogus"));
    EXPECT_TRUE(log.contains("arg(1) = -cdMode=emulateKey"));
}

TEST_F(VanishingClients, AConnectionClosedWhileItsCallIsUnanswered) {
    const QString name = "velnor-vanishing-client";
    {
        QDBusConnection client = QDBusConnection::connectToBus(sessionBusAddress(), name);
        ASSERT_TRUE(client.isConnected());
        pause();
        const QDBusMessage reply =
            client.call(executeCall("-cdMode=generateKeys"), QDBus::Block, 100);
        EXPECT_EQ(reply.type(), QDBusMessage::ErrorMessage);  // no answer in time
    }
    QDBusConnection::disconnectFromBus(name);
    resume();
    const QStringList log = logSince();
    EXPECT_EQ(log.mid(0, 2), (QStringList{"DDE LinkExecute:  -cdMode=generateKeys",
                                          "arg(1) = -cdMode=generateKeys"}));
}

}  // namespace
}  // namespace velnor::test
