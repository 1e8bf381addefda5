#include "platform/linux/termination.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include "support/velnor_process.h"
#include "support/x_server.h"

namespace velnor {
namespace {

class NoStuckKeys : public test::OnXvfb {
  protected:
    // The server's view of held keys and buttons once it stops changing (at most 5 s).
    std::string heldOnce(const char* expected) {
        QElapsedTimer timer;
        timer.start();
        QString held = window->held().join(", ");
        while (held != expected && timer.elapsed() < 5000) {
            QThread::msleep(10);
            held = window->held().join(", ");
        }
        return held.toStdString();
    }
    // Starts the helper, which holds Shift and the left button through XTest.
    void startHelper(QProcess& helper) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", QString::fromStdString(test::xvfbDisplay()));
        environment.insert("VELNOR_INPUT", "x11");
        helper.setProcessEnvironment(environment);
        helper.start(HOLD_KEY_HELPER);
        ASSERT_TRUE(helper.waitForReadyRead(10000)) << helper.readAllStandardError().toStdString();
        EXPECT_EQ(helper.readAllStandardOutput().trimmed().toStdString(), "holding");
    }
};

// XTest keys stay down in the server after their client is gone, so the program has to let go
// of them itself on its way out.
// Whatever ends it, the program included (SIGKILL, a crash), lets go: the guardian process of the
// XTest backend releases what is still held. The test's own window keeps the server from resetting.
TEST_F(NoStuckKeys, EveryOtherEndReleasesWhatTheProgramHeldToo) {
    for (const int signal :
         {SIGKILL, SIGQUIT, SIGABRT, SIGSEGV, SIGPIPE, SIGUSR1, SIGUSR2, SIGALRM, SIGBUS}) {
        QProcess helper;
        ASSERT_NO_FATAL_FAILURE(startHelper(helper));
        EXPECT_EQ(heldOnce("Shift_L, button 1"), "Shift_L, button 1") << strsignal(signal);

        kill(helper.processId(), signal);
        ASSERT_TRUE(helper.waitForFinished(10000)) << strsignal(signal);
        EXPECT_EQ(helper.exitStatus(), QProcess::CrashExit) << strsignal(signal);
        EXPECT_EQ(heldOnce(""), "") << strsignal(signal);
    }
}

TEST_F(NoStuckKeys, TheXServerClosingTheProgramsConnectionReleasesWhatItHeld) {
    QProcessEnvironment environment = test::loopbackOnX(test::xvfbDisplay());
    test::VelnorProcess velnor({"-port=com1", "-dtr", "-cdEmulateKey=vbKeyLButton"}, environment);
    ASSERT_EQ(heldOnce("Shift_L, button 1"), "Shift_L, button 1");
    ASSERT_TRUE(test::killClientOfProcess(test::xvfbDisplay(), velnor.process().processId()))
        << "the program's window was not found";
    EXPECT_EQ(velnor.waitForExit(10000), 1) << "Qt ends on a broken X connection";
    EXPECT_EQ(heldOnce(""), "");
}

TEST_F(NoStuckKeys, ATerminationSignalReleasesWhatTheProgramHolds) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        QProcess helper;
        ASSERT_NO_FATAL_FAILURE(startHelper(helper));
        EXPECT_EQ(heldOnce("Shift_L, button 1"), "Shift_L, button 1") << strsignal(signal);

        kill(helper.processId(), signal);
        ASSERT_TRUE(helper.waitForFinished(10000)) << strsignal(signal);
        EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit) << strsignal(signal);
        EXPECT_EQ(helper.exitCode(), 0) << strsignal(signal);
        EXPECT_EQ(window->held().join(", ").toStdString(), "") << strsignal(signal);
    }
}

}  // namespace
}  // namespace velnor
