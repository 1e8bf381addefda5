// What the built program answers without opening a window: --help and --version, and the one line
// it says when there is no display to show its window on.
#include <gtest/gtest.h>

#include <QProcess>
#include <QProcessEnvironment>

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

    const Outcome help = runWithoutDisplay({"-port=com1", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* option : {"-port=", "-dsrMode=", "-dsrDebounce=", "-minimize", "--version"})
        EXPECT_TRUE(help.out.contains(option)) << option;
    EXPECT_TRUE(help.err.isEmpty()) << help.err.toStdString();
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
