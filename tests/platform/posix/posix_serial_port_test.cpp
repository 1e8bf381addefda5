// The POSIX backend on pseudo-terminals: the kernel's own open, TIOCEXCL and termios, with the
// modem-control requests answered by FakeModemDriver where a test needs modem lines.

#include "platform/posix/posix_serial_port.h"

#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>
#include <future>
#include <thread>

#include "recording_listener.h"
#include "support/fake_modem_driver.h"
#include "support/problem_print.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;
using Codes = std::vector<int16_t>;

class PosixPortTest : public ::testing::Test {
  protected:
    OpenResult open() {
        return posix::openPort(terminal.path().toStdU16String(), listener,
                               lockDir.path().toStdU16String());
    }
    OpenResult openWithModem(
        FakeModemDriver::Waiting waiting = FakeModemDriver::Waiting::Supported) {
        modem.emplace(terminal.path(), waiting);
        return open();
    }
    QString lockFile() const {
        return lockDir.path() + "/LCK.." + terminal.path().mid(5).replace('/', '_');
    }
    void writeLockFile(pid_t pid) {
        QFile file(lockFile());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::number(pid).rightJustified(10, ' ') + '\n');
    }
    QByteArray lockFileContent() const {
        QFile file(lockFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir lockDir;
    PseudoTerminal terminal;
    std::optional<FakeModemDriver> modem;
    RecordingListener listener;
};

QByteArray ownLockContent() {
    return QByteArray::number(::getpid()).rightJustified(10, ' ') + '\n';
}

TEST_F(PosixPortTest, APseudoTerminalOpensButItsMissingModemLinesAreAClearError) {
    for (int attempt = 1; attempt <= 2; ++attempt) {  // the failed open holds nothing back
        const OpenResult opened = open();
        ASSERT_FALSE(opened) << "attempt " << attempt;
        EXPECT_EQ(
            opened.error(),
            (Problem{ProblemKind::NotSerialPort,
                     u"the device has no modem-control lines (Inappropriate ioctl for device)"}));
        EXPECT_FALSE(QFile::exists(lockFile()));
    }
}

TEST_F(PosixPortTest, TakesThePortExclusivelyUntilClosed) {
    OpenResult opened = openWithModem();
    ASSERT_TRUE(opened) << toQString(opened.error().reason).toStdString();
    EXPECT_EQ(lockFileContent(), ownLockContent());
    QFile other(terminal.path());
    ASSERT_TRUE(other.open(QIODevice::ReadOnly));  // root passes TIOCEXCL, so ask for it
    int exclusive = 0;
    ASSERT_EQ(::ioctl(other.handle(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    opened->reset();
    EXPECT_FALSE(QFile::exists(lockFile()));
}

TEST_F(PosixPortTest, APortHeldByALiveProcessIsBusy) {
    OpenResult first = openWithModem();
    ASSERT_TRUE(first);
    const OpenResult second = open();
    ASSERT_FALSE(second);
    EXPECT_EQ(second.error().kind, ProblemKind::Busy);
    EXPECT_EQ(
        toQString(second.error().reason),
        QStringLiteral("busy, held by process %1 (lock file %2)").arg(::getpid()).arg(lockFile()));
    first->reset();

    writeLockFile(::getppid());
    const OpenResult third = open();
    ASSERT_FALSE(third);
    EXPECT_EQ(third.error().kind, ProblemKind::Busy);
    EXPECT_TRUE(toQString(third.error().reason)
                    .startsWith(QStringLiteral("busy, held by process %1 ").arg(::getppid())));
    EXPECT_TRUE(QFile::exists(lockFile())) << "another process's lock file stays";
}

TEST_F(PosixPortTest, AStaleLockFileIsTakenOver) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(0);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    writeLockFile(child);
    const OpenResult opened = openWithModem();
    ASSERT_TRUE(opened) << toQString(opened.error().reason).toStdString();
    EXPECT_EQ(lockFileContent(), ownLockContent());
}

TEST(PosixPort, AMissingDeviceIsMissingWithTheSystemsReason) {
    RecordingListener listener;
    const QTemporaryDir lockDir;
    const OpenResult opened =
        posix::openPort(u"/dev/velnor-no-such-port", listener, lockDir.path().toStdU16String());
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error(), (Problem{ProblemKind::Missing, u"No such file or directory"}));
}

TEST_F(PosixPortTest, PermissionDeniedMentionsTheDialoutGroup) {
    if (::geteuid() == 0) GTEST_SKIP() << "root opens the device whatever its permissions";
    ASSERT_EQ(::chmod(QFile::encodeName(terminal.path()).constData(), 0), 0);
    const OpenResult opened = open();
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error(),
              (Problem{ProblemKind::Permission,
                       u"Permission denied; the user may need to be in the dialout group"}));
}

TEST_F(PosixPortTest, ReportsEachChangedLineOnce) {
    const OpenResult opened = openWithModem();
    ASSERT_TRUE(opened);
    const struct {
        int inputs;
        Codes expected;
    } steps[] = {
        {TIOCM_DSR | TIOCM_CD, {comEvDSR, comEvCD}},
        {TIOCM_CD | TIOCM_CTS, {comEvCTS, comEvDSR}},
        {TIOCM_CD | TIOCM_CTS | TIOCM_RNG, {comEvRing}},
        {0, {comEvCTS, comEvCD, comEvRing}},
    };
    Codes expected;
    for (const auto& step : steps) {
        ASSERT_TRUE(modem->awaitWaiter());
        modem->setInputs(step.inputs);
        expected.insert(expected.end(), step.expected.begin(), step.expected.end());
        ASSERT_TRUE(listener.awaitCodes(expected.size()));
        EXPECT_EQ(listener.codes(), expected) << "after inputs " << step.inputs;
    }
    EXPECT_EQ((*opened)->levels().cts, false);
    modem->setInputs(TIOCM_CTS | TIOCM_CD);
    const ModemLevels levels = (*opened)->levels();
    EXPECT_TRUE(levels.cts && levels.cd && !levels.dsr && !levels.ri);
}

// cdc-acm's wait misses a change that comes, with a second notification of the same levels,
// while the caller is on its way into the wait; the watcher looks again before it sleeps.
TEST_F(PosixPortTest, AChangeTheDriversWaitWouldMissIsStillReported) {
    const OpenResult opened = openWithModem(FakeModemDriver::Waiting::LikeCdcAcm);
    ASSERT_TRUE(opened);
    ASSERT_TRUE(modem->awaitWaiter());
    modem->setInputsAfterNextQuietCount(TIOCM_CTS | TIOCM_DSR);
    modem->setInputs(TIOCM_CTS);
    ASSERT_TRUE(listener.awaitCodes(2));
    EXPECT_EQ(listener.codes(), (Codes{comEvCTS, comEvDSR}));
}

TEST_F(PosixPortTest, DrivesDtrAndRts) {
    const OpenResult opened = openWithModem();
    ASSERT_TRUE(opened);
    (*opened)->setDtr(false);
    EXPECT_EQ(modem->outputs(), TIOCM_RTS);
    (*opened)->setRts(false);
    (*opened)->setDtr(true);
    EXPECT_EQ(modem->outputs(), TIOCM_DTR);
}

TEST_F(PosixPortTest, AnIdlePortMakesNoRequests) {
    const OpenResult opened = openWithModem();
    ASSERT_TRUE(opened);
    ASSERT_TRUE(modem->awaitWaiter());
    const int requests = modem->requests();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(modem->requests(), requests);
    EXPECT_TRUE(listener.notices().isEmpty());
}

TEST_F(PosixPortTest, ClosingInterruptsTheWaitingWatcher) {
    OpenResult opened = openWithModem();
    ASSERT_TRUE(opened);
    ASSERT_TRUE(modem->awaitWaiter());
    auto closing = std::async(std::launch::async, [&] { opened->reset(); });
    const bool returned = closing.wait_for(10s) == std::future_status::ready;
    if (!returned) modem->setInputs(TIOCM_CTS);  // lets the watcher go, so the test can end
    ASSERT_TRUE(returned) << "the watcher kept waiting";
    EXPECT_EQ(modem->interruptedWaits(), 1);
    EXPECT_TRUE(listener.lost().isEmpty());
}

// While polling, a level read gives the sample that the last report came from: a fresh read
// could find a bouncing switch in its other state, and no later sample would differ to correct it.
TEST_F(PosixPortTest, WithoutTheDriversWaitTheLinesArePolled) {
    OpenResult opened = openWithModem(FakeModemDriver::Waiting::Unsupported);
    ASSERT_TRUE(opened);
    EXPECT_EQ((*opened)->settleTime(), 100ms) << "until the driver refuses to wait";
    ASSERT_TRUE(listener.awaitNotice());
    EXPECT_EQ(
        listener.notices(),
        QStringList{"the driver cannot wait for line changes, so they are polled every 5 ms"});
    EXPECT_EQ((*opened)->settleTime(), 5ms);
    modem->setInputs(TIOCM_DSR);
    ASSERT_TRUE(listener.awaitCodes(1));
    modem->setInputs(0);  // before the next sample
    EXPECT_TRUE((*opened)->levels().dsr);
    ASSERT_TRUE(listener.awaitCodes(2));
    EXPECT_FALSE((*opened)->levels().dsr);
    modem->setInputs(TIOCM_RNG);
    ASSERT_TRUE(listener.awaitCodes(3));
    EXPECT_EQ(listener.codes(), (Codes{comEvDSR, comEvDSR, comEvRing}));
    auto closing = std::async(std::launch::async, [&] { opened->reset(); });
    ASSERT_EQ(closing.wait_for(10s), std::future_status::ready);
}

TEST_F(PosixPortTest, AnUnpluggedDeviceIsReportedGone) {
    for (const auto waiting :
         {FakeModemDriver::Waiting::Supported, FakeModemDriver::Waiting::Unsupported}) {
        RecordingListener heard;
        modem.emplace(terminal.path(), waiting);
        OpenResult opened = posix::openPort(terminal.path().toStdU16String(), heard,
                                            lockDir.path().toStdU16String());
        ASSERT_TRUE(opened);
        modem->unplug();
        ASSERT_TRUE(heard.awaitLost());
        EXPECT_EQ(heard.lost(), QStringList{"Input/output error"});
        opened->reset();
        EXPECT_FALSE(QFile::exists(lockFile()));
    }
}

}  // namespace
}  // namespace velnor
