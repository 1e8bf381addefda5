// The input backend failing mid-run: nothing crashes or ends, and the failure is told once.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QStringList>

#include "platform/qt/event_loop.h"
#include "platform/qt/text.h"
#include "platform/uinput/uinput_input.h"
#include "platform/x11/xtest_input.h"
#include "support/linux_form.h"
#include "support/log_lines.h"
#include "support/qt_print.h"
#include "support/scoped_env.h"
#include "support/x_server.h"

namespace velnor::test {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

// Every kind of injection, as the signal actions use them.
void injectEverything(InputSink& sink) {
    sink.key(16, true);
    sink.key(65, true);
    sink.key(65, false);
    sink.key(16, false);
    sink.mouseButton(MouseButton::Left, true);
    sink.mouseButton(MouseButton::Left, false);
    sink.typeCharacter(U'a');
    sink.typeCharacter(U'€');
}

// A backend with the problems it reported; the list outlives the backend, which may still
// report while it ends.
class ReportingSink {
  public:
    explicit ReportingSink(std::unique_ptr<InputSink> sink) : sink(std::move(sink)) {
        this->sink->setProblemReporter(
            [this](const std::u16string& problem) { problems << toQString(problem); });
    }
    QStringList problems;
    std::unique_ptr<InputSink> sink;
};

TEST(XServerGoneAway, TheXTestSinkDropsEventsAndSaysSoOnce) {
    XvfbServer server;
    ASSERT_FALSE(server.display().empty()) << server.problem().toStdString();
    QtEventLoop loop;
    auto opened = openXTestInput(loop, server.display().c_str());
    ASSERT_TRUE(opened) << QString::fromStdU16String(opened.error().reason).toStdString();
    ReportingSink input(std::move(*opened));
    injectEverything(*input.sink);
    input.sink->key(16, true);  // Shift held as the server goes
    EXPECT_EQ(input.problems, QStringList());

    server.kill(SIGKILL);
    for (int round = 0; round < 3; ++round) injectEverything(*input.sink);
    ASSERT_EQ(input.problems.size(), 1) << input.problems.join('\n').toStdString();
    EXPECT_THAT(
        input.problems[0].toStdString(),
        StartsWith("XTest cannot inject input any more: the connection to the X display \"" +
                   server.display() + "\" was lost"));
    // Ending the sink releases nothing on a dead connection, and ends nothing else.
    input.sink.reset();
}

TEST(XServerGoneAway, TheWindowGoesOnAndItsLogSaysSoOnce) {
    XvfbServer server;
    ASSERT_FALSE(server.display().empty()) << server.problem().toStdString();
    QtEventLoop loop;
    auto opened = openXTestInput(loop, server.display().c_str());
    ASSERT_TRUE(opened) << QString::fromStdU16String(opened.error().reason).toStdString();
    ScopedEnv com1("VELNOR_COM1", "loopback");
    LinuxForm form(**opened, "-port=com1 -dtr");  // Shift and Control held through XTest
    form.Form_Load();
    QCoreApplication::processEvents();

    server.kill(SIGKILL);
    for (const char* arguments : {"-rts", "-ctsMode=sendKeys -port=none -port=com1", "-dtr -rts"}) {
        form.ProcessArguments(QString(arguments).toStdU16String());
        QCoreApplication::processEvents();
    }
    const QStringList log = logMessages(form);
    EXPECT_EQ(log.filter("XTest cannot inject input any more").size(), 1)
        << log.join('\n').toStdString();
    EXPECT_EQ(log.mid(log.size() - 2), (QStringList{"arg(2) = -rts", "optRTSOn_Click"}));
    EXPECT_TRUE(form.ctsHandler.flag());
}

TEST(XServerGoneAway, OtherConnectionsKeepWorking) {
    XvfbServer doomed;
    ASSERT_FALSE(doomed.display().empty()) << doomed.problem().toStdString();
    ASSERT_FALSE(xvfbDisplay().empty()) << xvfbProblem().toStdString();
    FocusWindow window(xvfbDisplay());
    QtEventLoop loop;
    auto lost = openXTestInput(loop, doomed.display().c_str());
    auto alive = openXTestInput(loop, xvfbDisplay().c_str());
    ASSERT_TRUE(lost && alive);
    doomed.kill(SIGKILL);
    (*lost)->key(65, true);
    (*alive)->typeCharacter(U'k');
    EXPECT_EQ(window.takeText(1), "k");
}

TEST(UinputRefusesEvents, EveryEventIsLostAndTheFailureToldOnce) {
    // /dev/full refuses every write, as a device that went away does.
    const int fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ReportingSink input(std::make_unique<UinputInput>(fd, *XkbLayout::named("us")));
    for (int round = 0; round < 3; ++round) injectEverything(*input.sink);
    ASSERT_EQ(input.problems.size(), 1);
    EXPECT_THAT(input.problems[0].toStdString(), StartsWith("uinput cannot inject input"));
    EXPECT_THAT(input.problems[0].toStdString(), HasSubstr("No space left on device"));
}

TEST(UinputRefusesEvents, AFailureAfterRecoveryIsToldAgain) {
    int fds[2];
    ASSERT_EQ(pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
    ReportingSink input(std::make_unique<UinputInput>(fds[1], *XkbLayout::named("us")));
    const auto fillUntilRefused = [&] {
        const qsizetype before = input.problems.size();
        for (int i = 0; i < 100000 && input.problems.size() == before; ++i)
            input.sink->key(65, i % 2 == 0);
    };
    const auto drain = [&] {
        char buffer[4096];
        while (read(fds[0], buffer, sizeof buffer) > 0) {
        }
    };
    fillUntilRefused();
    input.sink->key(66, true);  // still refused: not told again
    EXPECT_EQ(input.problems.size(), 1);
    drain();
    input.sink->key(66, false);
    EXPECT_EQ(input.problems.size(), 1);
    fillUntilRefused();
    EXPECT_EQ(input.problems.size(), 2);
    drain();
    input.sink.reset();
    close(fds[0]);
}

}  // namespace
}  // namespace velnor::test
