// What the built program answers without opening a window: --help and --version, and the one line
// it says when there is no display to show its window on.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "core/main_form.h"
#include "core/support/argument_spellings.h"
#include "support/session_bus.h"
#include "support/velnor_process.h"

namespace velnor {
namespace {

struct Outcome {
    int exitCode;  // -1 when the program did not end normally (a signal, a core dump)
    QString out;
    QString err;
};

// Runs the program with no display at all and no Qt platform chosen, on the test's own bus.
Outcome runWithoutDisplay(const QStringList& arguments, const QString& display = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DBUS_SESSION_BUS_ADDRESS", test::sessionBusAddress());
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(name);
    if (!display.isEmpty()) env.insert("DISPLAY", display);
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(VELNOR_BINARY), arguments);
    const bool ended = process.waitForFinished(10000);
    if (!ended) process.kill();
    const bool normal = ended && process.exitStatus() == QProcess::NormalExit;
    return {normal ? process.exitCode() : -1,
            QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(NoWindow, HelpAndVersionAnswerOnStandardOutputWithoutADisplay) {
    const Outcome version = runWithoutDisplay({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.out.startsWith("velnor ")) << version.out.toStdString();
    EXPECT_TRUE(version.err.isEmpty()) << version.err.toStdString();

    const Outcome help = runWithoutDisplay({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    const std::u16string text = help.out.toStdU16String();
    for (const std::u16string& spelling : test::argumentSpellings())
        EXPECT_EQ(test::occurrences(text, spelling), 1)
            << QString::fromStdU16String(spelling).toStdString();
    EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();

    // Beside other arguments they are arguments like any other, for the window to log.
    const Outcome notAlone = runWithoutDisplay({"-port=com1", "--help"});
    EXPECT_EQ(notAlone.exitCode, 1);
    EXPECT_TRUE(notAlone.out.isEmpty()) << notAlone.out.toStdString();
}

TEST(NoWindow, WithoutADisplayTheProgramSaysWhatIsMissingInOneLineAndEnds) {
    // No display named at all, and one named that nothing serves.
    for (const QString& display : {QString(), QStringLiteral(":997")}) {
        const Outcome run = runWithoutDisplay({"-port=com1"}, display);
        EXPECT_EQ(run.exitCode, 1) << display.toStdString();  // not a crash or core dump
        EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains("QT_QPA_PLATFORM")) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
    }
}

// A second start reaches the running copy before it opens anything of the window: with a display
// named that nothing serves, one that built its QApplication first would end on the missing
// display instead. Taken or refused, it says so as ever and ends with 0.
TEST(NoWindow, ASecondStartHandsOverWithoutTouchingTheDisplay) {
    const test::VelnorProcess first({});
    ASSERT_TRUE(test::waitForRunningCopy());
    const QString overlong(MainForm::kMaxArgumentsLength + 1, u'a');
    const struct {
        QString argument;
        QString logged;  // the running copy's last log line
        QString err;
    } starts[] = {
        {"-dsrMode=sendKeys", "arg(1) = -dsrMode=sendKeys", ""},
        {overlong, "Arguments of 32767 characters not applied",
         QString::fromStdU16String(
             handOverFailure(u"The command was not applied; the event log says why")) +
             u'\n'},
    };
    for (const auto& [argument, logged, err] : starts) {
        const Outcome second = runWithoutDisplay({argument}, ":997");
        EXPECT_EQ(second.exitCode, 0) << second.err.toStdString();
        EXPECT_EQ(second.err, err);
        const QStringList log = test::runningCopyLog();
        ASSERT_FALSE(log.isEmpty());
        EXPECT_TRUE(log.last().startsWith(logged)) << log.last().toStdString();
    }
}

}  // namespace
}  // namespace velnor
