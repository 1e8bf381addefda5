// Where the XTest backend looks for its guardian: a copy of the program run from a folder of its
// own starts velnor-guardian only from beside itself or from ../libexec/velnor, never from the
// build tree it came from, and says in its event log when there is none.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <filesystem>

#include "support/qt_print.h"
#include "support/session_bus.h"
#include "support/temp_dir.h"
#include "support/velnor_process.h"
#include "support/x_server.h"

namespace velnor::test {
namespace {

namespace fs = std::filesystem;

struct Layout {
    const char* name;
    const char* guardian;  // where a copy of velnor-guardian lies, from the root; null for none
};

// The program is always root/bin/velnor.
const Layout kLayouts[] = {
    {"alone", nullptr},
    {"beside", "bin/velnor-guardian"},
    {"installed", "libexec/velnor/velnor-guardian"},
};

constexpr char kMissing[] =
    "XTest: velnor-guardian was not found beside the program or in ../libexec/velnor; keys held "
    "when Velnor is killed may stay down";

// Every program that `trace` (strace -f -e trace=execve) saw executed, canonical.
std::vector<fs::path> executed(const fs::path& trace) {
    QFile file(QString::fromStdString(trace.string()));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << trace;
    std::vector<fs::path> programs;
    static const QRegularExpression call(QStringLiteral(R"(execve\("([^"]*)\")"));
    for (auto match = call.globalMatch(QString::fromLocal8Bit(file.readAll())); match.hasNext();)
        programs.push_back(fs::weakly_canonical(match.next().captured(1).toStdString()));
    return programs;
}

using GuardianPlace = OnXvfb;

TEST_F(GuardianPlace, ARelocatedProgramStartsOnlyItsOwnGuardianAndLogsAMissingOne) {
    const QString strace = QStandardPaths::findExecutable("strace");
    ASSERT_FALSE(strace.isEmpty()) << "strace is not installed (Debian package strace)";
    ASSERT_FALSE(sessionBusAddress().isEmpty()) << "dbus-daemon did not start";
    // The build's own guardian is there to be found by a program that looked for it.
    ASSERT_TRUE(fs::exists(VELNOR_GUARDIAN));
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        TempDir root;
        const fs::path program = root.path() / "bin/velnor";
        fs::create_directories(program.parent_path());
        fs::copy_file(VELNOR_BINARY, program);
        if (layout.guardian) {
            fs::create_directories((root.path() / layout.guardian).parent_path());
            fs::copy_file(VELNOR_GUARDIAN, root.path() / layout.guardian);
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(loopbackOnX(xvfbDisplay()));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("DBUS_SESSION_BUS_ADDRESS", sessionBusAddress());
        QProcess traced;
        traced.setProcessEnvironment(environment);
        traced.setProcessChannelMode(QProcess::ForwardedChannels);
        const fs::path trace = root.path() / "trace";
        // DSR and CD come on with DTR: Shift and Control held.
        traced.start(strace, {"-f", "-qq", "-e", "trace=execve", "-e", "signal=none", "-o",
                              QString::fromStdString(trace.string()), "--",
                              QString::fromStdString(program.string()), "-port=com1", "-dtr"});
        ASSERT_TRUE(waitForRunningCopy());
        QElapsedTimer timer;
        timer.start();
        while (window->held().join(", ") != "Control_L, Shift_L" && timer.elapsed() < 5000)
            QThread::msleep(10);
        const QStringList log = runningCopyLog();
        const QStringList told = log.filter(QRegularExpression("^XTest"));
        EXPECT_EQ(told, layout.guardian ? QStringList() : QStringList{kMissing})
            << log.join('\n').toStdString();

        // A guardian that was found releases what the killed program held.
        const qint64 pid = testBus().interface()->servicePid("org.velnor.Velnor");
        ASSERT_GT(pid, 0);
        kill(pid_t(pid), layout.guardian ? SIGKILL : SIGTERM);
        ASSERT_TRUE(traced.waitForFinished(10000));
        EXPECT_EQ(window->held().join(", ").toStdString(), "");

        std::vector<fs::path> expected = {fs::weakly_canonical(program)};
        if (layout.guardian)
            expected.push_back(fs::weakly_canonical(root.path() / layout.guardian));
        EXPECT_EQ(executed(trace), expected);
    }
}

}  // namespace
}  // namespace velnor::test
