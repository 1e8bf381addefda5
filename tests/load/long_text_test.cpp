// A long SendKeys text of characters the keymap lacks, typed by the running program into a real X
// server: the window goes on answering while it types, and ending the program cuts it short.

#include <gtest/gtest.h>
#include <signal.h>

#include <QDBusMessage>

#include "support/qt_print.h"
#include "support/session_bus.h"
#include "support/velnor_process.h"
#include "support/x_server.h"

namespace velnor::test {
namespace {

// 32,000 CJK ideographs, 2,000 different ones: each needs a keycode bound for the moment.
QString longForeignText() {
    QString text;
    for (int i = 0; i < 32000; ++i) text += QChar(0x4e00 + i % 2000);
    return text;
}

using LongText = OnXvfb;

TEST_F(LongText, TheWindowAnswersWhileItTypesAndEndsWhenAsked) {
    ASSERT_FALSE(sessionBusAddress().isEmpty()) << "dbus-daemon did not start";
    VelnorProcess velnor(
        {"-dsrMode=sendKeys", "-dsrSendKeys=" + longForeignText(), "-port=com1", "-dtr"},
        loopbackOnX(xvfbDisplay()));
    ASSERT_TRUE(window->awaitCount(0, 100)) << "typing did not begin";
    for (int call = 0; call < 5; ++call) {
        // Before, the window's thread slept through the whole text (about a minute).
        const QDBusMessage reply =
            testBus().call(executeCall("-ctsMode=sendKeys"), QDBus::Block, 2000);
        EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
    EXPECT_TRUE(window->awaitCount(0, 100)) << "typing went on";
    ASSERT_EQ(kill(velnor.process().processId(), SIGTERM), 0);
    EXPECT_EQ(velnor.waitForExit(3000), 0) << "the end waited for the text";
    EXPECT_EQ(window->held().join(", ").toStdString(), "");
}

}  // namespace
}  // namespace velnor::test
