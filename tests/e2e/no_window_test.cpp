// What the built program answers without opening a window: --help and --version, and the one line
// it says when there is no display to show its window on.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

#include "core/support/argument_spellings.h"

namespace velnor {
namespace {

struct Outcome {
    int exitCode;  // -1 when the program did not end normally (a signal, a core dump)
    QString out;
    QString err;
};

// Runs the program with no display at all and no Qt platform chosen.
Outcome runWithoutDisplay(const QStringList& arguments, const QString& display = {}) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
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

}  // namespace
}  // namespace velnor
