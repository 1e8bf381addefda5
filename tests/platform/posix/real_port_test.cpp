// The serial control on a real driver, inside the virtual machine of scripts/vm-run: COM1 is
// /dev/ttyACM0, a cdc-acm port whose far end is the USB serial gadget /dev/ttyGS0. Opening the
// gadget raises DSR and CD on the port, closing it drops them, and removing g_serial unplugs the
// port. The guest runs as root, whom TIOCEXCL does not stop.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <future>
#include <optional>
#include <thread>

#include "racing_processes.h"
#include "support/linux_form.h"
#include "support/log_lines.h"
#include "support/problem_print.h"
#include "support/qt_print.h"
#include "support/recording_input_sink.h"
#include "support/scoped_env.h"
#include "support/vm_guest.h"

namespace velnor {
namespace {

using namespace std::chrono_literals;
using test::GadgetEnd;
using test::kCdcAcmPort;

constexpr char kLockFile[] = "/run/lock/LCK..ttyACM0";
const QString kCtsIgnored =
    QStringLiteral("COM1 (/dev/ttyACM0): the cdc_acm driver does not report CTS; CTS is ignored");
// The start of the line that tells a failed attempt to open a lost port again.
const QString kFailedAgain = QStringLiteral(" cannot be opened yet: ");

// The log without the lines that name the adapter (its vendor and model vary with the kernel).
QStringList withoutNames(QStringList log) {
    static const QRegularExpression named("^COM1 \\(.+\\): .+ \\(/dev/.+\\)$");
    log.removeIf([](const QString& line) { return named.match(line).hasMatch(); });
    return log;
}

// The port open, and DSR and CD followed as on.
bool linesOn(const MainForm& form) {
    return form.MSComm1.PortOpen() && form.dsrHandler.flag() && form.cdHandler.flag();
}

// Loads the window and chooses COM1, which opens.
void chooseCom1(LinuxForm& form) {
    form.Form_Load();
    form.optCom1.setValue(true);
    ASSERT_TRUE(form.MSComm1.PortOpen()) << logMessages(form).join(u'\n').toStdString();
}

// The gadget reloaded until the port is /dev/ttyACM0 again (nothing may hold the old node).
void replugAsAcm0() {
    for (int attempt = 0; attempt < 3 && !QFile::exists(kCdcAcmPort); ++attempt) {
        ASSERT_EQ(std::system("rmmod g_serial"), 0);
        ASSERT_EQ(std::system("modprobe g_serial"), 0);
        processEventsUntil([] { return QFile::exists(kCdcAcmPort); });
    }
    ASSERT_TRUE(QFile::exists(kCdcAcmPort));
}

// The line of the notification being delivered, and that line's level as the window reads it.
QString notification(const SerialControl& port) {
    const auto level = [](bool on) { return QLatin1String(on ? " on" : " off"); };
    switch (port.CommEvent()) {
        case comEvDSR:
            return "DSR" + level(port.DSRHolding());
        case comEvCD:
            return "CD" + level(port.CDHolding());
        case comEvCTS:
            return "CTS" + level(port.CTSHolding());
        default:
            return "ring";
    }
}

class RealPortTest : public ::testing::Test {
  protected:
    RealPortTest() {
        control.OnComm = [this] { heard.append(notification(control)); };
        control.onNotice = [this](const std::u16string& text) {
            notices.append(QString::fromStdU16String(text));
        };
        control.onPortLost = [this](const std::u16string&, const Problem& problem) {
            lost.append(QString::fromStdU16String(problem.reason));
        };
    }
    void SetUp() override {
        if (!test::inVmGuest()) GTEST_SKIP() << "runs in the virtual machine of scripts/vm-run";
    }

    void open() {
        const auto opened = control.setPortOpen(true);
        ASSERT_TRUE(opened) << QString::fromStdU16String(opened.error().reason).toStdString();
    }
    // Opens COM1 and waits until its watcher sleeps in the driver.
    void openIdle() {
        ASSERT_NO_FATAL_FAILURE(open());
        ASSERT_TRUE(processEventsUntil(test::portWatcherSleeps));
    }
    bool hear(qsizetype count) {
        return processEventsUntil([&] { return heard.size() >= count; });
    }
    // Until the watcher sleeps again and what it reported has been delivered.
    static bool settle() {
        const bool slept = processEventsUntil(test::portWatcherSleeps);
        QCoreApplication::processEvents();
        return slept;
    }
    // The gadget back, for the tests that follow: the port returns under its old name only if
    // nothing holds the old one open.
    static void plugBackIn() {
        ASSERT_EQ(std::system("modprobe g_serial"), 0);
        ASSERT_TRUE(
            processEventsUntil([] { return test::inVmGuest() && QFile::exists(kCdcAcmPort); }));
    }

    const ScopedEnv com1{"VELNOR_COM1", kCdcAcmPort};
    LinuxSerialControl control;  // COM1
    QStringList heard;           // every OnComm, as notification() gives it
    QStringList notices;
    QStringList lost;
};

TEST_F(RealPortTest, Com1OpensTheNamedPortAndHearsTheFarEndAsDsrThenCd) {
    ASSERT_NO_FATAL_FAILURE(openIdle());
    EXPECT_EQ(QString::fromStdU16String(control.device()), kCdcAcmPort);
    // Read from the port's sysfs; the window's side is checked by the unplug test.
    EXPECT_EQ(control.reportedLines().driver, u"cdc_acm");
    EXPECT_FALSE(control.reportedLines().lines.cts);
    EXPECT_FALSE(control.DSRHolding() || control.CDHolding());
    const QStringList oneRound{"DSR on", "CD on", "DSR off", "CD off"};
    QStringList expected;
    for (int round = 1; round <= 3; ++round) {
        GadgetEnd farEnd;
        ASSERT_TRUE(farEnd.isOpen());
        ASSERT_TRUE(hear(heard.size() + 2));
        farEnd.close();
        ASSERT_TRUE(hear(heard.size() + 2));
        ASSERT_TRUE(settle());
        expected += oneRound;
        EXPECT_EQ(heard, expected) << "round " << round;
    }
    // The one notice names the adapter; none says that it is polled: cdc-acm waits in the driver.
    ASSERT_EQ(notices.size(), 1) << notices.join(u'\n').toStdString();
    EXPECT_TRUE(notices[0].endsWith("(/dev/ttyACM0)")) << notices[0].toStdString();
}

// The watcher compares the driver's counters with those taken at the open, so a change made while
// it starts, or on its way into the driver's wait, still reaches the window. So does a blip (the
// far end opened and closed at once), after which the levels are what they were before.
TEST_F(RealPortTest, ChangesWhileTheWatcherStartsAreNotLost) {
    const struct {
        std::chrono::milliseconds after;  // from the port's open to the far end's
        bool blip;
    } rows[] = {{0ms, false}, {0ms, true},  {20ms, false},  {20ms, true},
                {50ms, true}, {80ms, true}, {200ms, false}, {200ms, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message()
                     << row.after.count() << " ms" << (row.blip ? ", blip" : ""));
        heard.clear();
        ASSERT_NO_FATAL_FAILURE(open());
        std::this_thread::sleep_for(row.after);
        GadgetEnd farEnd;
        ASSERT_TRUE(farEnd.isOpen());
        if (row.blip) farEnd.close();
        ASSERT_TRUE(processEventsUntil([&] {
            return heard.size() >= 2 && heard.contains(row.blip ? "CD off" : "CD on");
        })) << heard.join(", ").toStdString();
        ASSERT_TRUE(settle());
        if (row.blip) {
            // Seen in one look or in two. A line whose notification still waits when the second
            // look reports it is told once, so the lines' last notifications may come in either
            // order; each tells its line off.
            for (const QString line : {"DSR", "CD"}) {
                const QStringList told = heard.filter(QRegularExpression('^' + line + ' '));
                EXPECT_TRUE(told.size() == 1 || told.size() == 2) << heard.join(", ").toStdString();
                EXPECT_EQ(told.last(), line + " off") << heard.join(", ").toStdString();
            }
        } else {
            EXPECT_EQ(heard, (QStringList{"DSR on", "CD on"}));
        }
        farEnd.close();
        control.setPortOpen(false);
    }
}

TEST_F(RealPortTest, ClosingWhileTheWatcherSleepsReturnsAtOnceAndReleasesThePort) {
    ASSERT_NO_FATAL_FAILURE(openIdle());
    EXPECT_TRUE(QFile::exists(kLockFile));
    auto closing = std::async(std::launch::async, [&] { control.setPortOpen(false); });
    const bool returned = closing.wait_for(10s) == std::future_status::ready;
    if (!returned) GadgetEnd();  // a change wakes the watcher, so the test can end
    ASSERT_TRUE(returned) << "the watcher kept waiting";
    EXPECT_TRUE(test::threadsInIoctl(TIOCMIWAIT).empty());
    EXPECT_FALSE(QFile::exists(kLockFile));
    QCoreApplication::processEvents();
    EXPECT_TRUE(lost.isEmpty());
    EXPECT_TRUE(heard.isEmpty());
}

TEST_F(RealPortTest, TheLockFileMakesASecondHolderBusyEvenForRoot) {
    ASSERT_NO_FATAL_FAILURE(openIdle());
    if (::geteuid() == 0) {
        const int bypass = ::open(kCdcAcmPort, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(bypass, 0) << "TIOCEXCL lets root through, so only the lock file stops it";
        if (bypass >= 0) ::close(bypass);
    }
    const QString busy =
        QStringLiteral("busy, held by process %1 (lock file %2)").arg(::getpid()).arg(kLockFile);

    LinuxSerialControl sameProcess;
    const auto refused = sameProcess.setPortOpen(true);
    ASSERT_FALSE(refused);
    EXPECT_EQ(refused.error().kind, ProblemKind::Busy);
    EXPECT_EQ(QString::fromStdU16String(refused.error().reason), busy);

    int pipe[2];
    ASSERT_EQ(::pipe2(pipe, O_CLOEXEC), 0);
    const pid_t child = ::fork();
    if (child == 0) {
        LinuxSerialControl otherProcess;
        const auto opened = otherProcess.setPortOpen(true);
        const QByteArray answer =
            opened ? "opened" : QString::fromStdU16String(opened.error().reason).toUtf8();
        const bool written = ::write(pipe[1], answer.constData(), answer.size()) == answer.size();
        ::_exit(written ? 0 : 1);
    }
    ::close(pipe[1]);
    QByteArray answer;
    char chunk[256];
    for (ssize_t got; (got = ::read(pipe[0], chunk, sizeof chunk)) > 0;) answer.append(chunk, got);
    ::close(pipe[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(QString::fromUtf8(answer), busy);

    control.setPortOpen(false);
    EXPECT_TRUE(sameProcess.setPortOpen(true)) << "the port is free again";
}

// Processes that find the port's lock file stale at the same moment: the guest runs as root,
// whom TIOCEXCL does not stop, so only the lock file decides; exactly one opens the port.
TEST_F(RealPortTest, OfTwoProcessesTakingOverAStaleLockExactlyOneOpensThePort) {
    for (int round = 0; round < 50; ++round) {
        const pid_t gone = ::fork();
        if (gone == 0) ::_exit(0);
        ::waitpid(gone, nullptr, 0);
        QFile stale(kLockFile);
        ASSERT_TRUE(stale.open(QIODevice::WriteOnly | QIODevice::Truncate));
        stale.write(QByteArray::number(gone).rightJustified(10, ' ') + '\n');
        stale.close();
        const int opened = racersThatWon(2, [](const std::function<void(bool)>& report) {
            LinuxSerialControl port;
            report(port.setPortOpen(true).has_value());
        });
        EXPECT_EQ(opened, 1) << "round " << round;
    }
    EXPECT_FALSE(QFile::exists(kLockFile));
}

// A driver may keep open() waiting whatever its flags say: here the port's last close waits for
// its output to drain (up to 30 s) while the far end reads nothing, and holds the tty meanwhile.
// The window gives the port up after a second and can open it once the close is done.
TEST_F(RealPortTest, APortThatDoesNotOpenIsGivenUpAfterASecond) {
    const pid_t closer = ::fork();
    if (closer == 0) {
        const int fd = ::open(kCdcAcmPort, O_RDWR | O_NOCTTY | O_NONBLOCK);
        const char data[4096] = {};
        while (fd >= 0 && ::write(fd, data, sizeof data) > 0) {
        }
        ::close(fd);  // waits for output nobody takes
        ::_exit(0);
    }
    std::this_thread::sleep_for(500ms);
    ASSERT_EQ(::waitpid(closer, nullptr, WNOHANG), 0) << "the close did not wait";
    const auto opened = control.setPortOpen(true);
    ::kill(closer, SIGKILL);
    ::waitpid(closer, nullptr, 0);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error(),
              (Problem{ProblemKind::TimedOut, u"the device did not answer within 1000 ms"}));
    EXPECT_FALSE(QFile::exists(kLockFile));
    EXPECT_TRUE(processEventsUntil([&] { return control.setPortOpen(true).has_value(); }));
}

TEST_F(RealPortTest, AnIdleOpenPortCostsNoWakeups) {
    ASSERT_NO_FATAL_FAILURE(openIdle());
    const std::vector<pid_t> watcher = test::threadsInIoctl(TIOCMIWAIT);
    const long before = test::contextSwitchesOfOtherThreads();
    std::this_thread::sleep_for(5s);
    EXPECT_LT(test::contextSwitchesOfOtherThreads() - before, 5) << "context switches in 5 s";
    EXPECT_EQ(test::threadsInIoctl(TIOCMIWAIT), watcher);
}

// The far end opened and closed in a rapid burst: once the port has been still for longer than
// its settle time, the window holds DSR and CD at their final levels, flags, indicators and keys.
TEST_F(RealPortTest, ABurstOfTheFarEndEndsWithTheWindowOnTheFinalLevels) {
    for (const bool endOpen : {false, true}) {
        SCOPED_TRACE(endOpen ? "ends open" : "ends closed");
        RecordingInputSink input;
        LinuxForm form(input, "");
        ASSERT_NO_FATAL_FAILURE(chooseCom1(form));
        std::optional<GadgetEnd> farEnd;
        for (int round = 0; round < 20; ++round) {
            farEnd.emplace();
            farEnd.reset();
        }
        if (endOpen) farEnd.emplace();
        QTest::qWait(static_cast<int>(form.MSComm1.settleTime().count()) * 2 + 300);

        EXPECT_EQ(form.MSComm1.DSRHolding(), endOpen);
        EXPECT_EQ(form.MSComm1.CDHolding(), endOpen);
        for (const auto& [handler, key] :
             {std::pair{&form.dsrHandler, 16}, std::pair{&form.cdHandler, 17}}) {
            EXPECT_EQ(handler->flag(), endOpen) << key;
            EXPECT_EQ(handler->box()->fillColor(), endOpen ? kIndicatorOn : kIndicatorOff);
            EXPECT_EQ(input.held(key), endOpen ? 1 : 0) << key;
        }
        form.optComNone.setValue(true);
    }
}

// The gadget end plays a plug joining DTR to DSR and CD: open while the port's DTR is on, as read
// on a descriptor of its own (opened first, as opening raises DTR).
TEST_F(RealPortTest, CheckWiringFindsWhatTheFarEndJoinsToDtrAndTypesNothing) {
    const int watch = ::open(kCdcAcmPort, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(watch, 0);
    std::jthread plug([&](std::stop_token stop) {
        std::optional<GadgetEnd> farEnd;
        for (int bits = 0; !stop.stop_requested(); std::this_thread::sleep_for(2ms)) {
            if (::ioctl(watch, TIOCMGET, &bits) != 0) continue;
            if ((bits & TIOCM_DTR) == 0)
                farEnd.reset();
            else if (!farEnd)
                farEnd.emplace();
        }
    });
    int outputs = 0;
    RecordingInputSink input;
    QtEventLoop loop;
    Platform platform = linuxPlatform(input, loop);
    QStringList told;  // a real dialog would wait for a click
    platform.messageBox = [&](const std::u16string& text) {
        told.append(QString::fromStdU16String(text));
    };
    {
        MainForm form(std::move(platform), u"");
        form.Form_Load();
        form.optCom1.setValue(true);
        form.optDTROn.setValue(true);
        ASSERT_TRUE(processEventsUntil([&] { return linesOn(form); }));
        ASSERT_TRUE(settle());
        input.events.clear();

        for (MenuEntry& entry : form.menuOf(form.Port))
            if (entry.text == u"Check wiring") entry.chosen({});
        ASSERT_TRUE(processEventsUntil([&] { return !told.isEmpty(); }));
        EXPECT_EQ(told, QStringList{"COM1 (/dev/ttyACM0) wiring: DTR → DSR, CD; RI never changed; "
                                    "CTS not reported by the cdc_acm driver"});
        ASSERT_TRUE(settle());
        EXPECT_EQ(input.events, QStringList{});
        EXPECT_TRUE(linesOn(form));
        ::ioctl(watch, TIOCMGET, &outputs);
    }
    plug = {};
    ::close(watch);
    EXPECT_EQ(outputs & (TIOCM_DTR | TIOCM_RTS), TIOCM_DTR) << "the outputs as they were";
}

TEST_F(RealPortTest, TheWindowFollowsTheFarEndUntilTheAdapterIsUnpluggedAndAgainOnceItIsBack) {
    RecordingInputSink input;
    LinuxForm form(input, "");
    ASSERT_NO_FATAL_FAILURE(chooseCom1(form));
    const auto injected = [&](qsizetype count) {
        return processEventsUntil([&] { return input.events.size() >= count; });
    };

    // cdc-acm reads CTS as on whatever the far end does: CTS is ignored, so nothing is held.
    EXPECT_EQ(input.events, QStringList{});
    GadgetEnd farEnd;
    ASSERT_TRUE(injected(2)) << input.events.join(',').toStdString();
    farEnd.close();
    ASSERT_TRUE(injected(4));
    EXPECT_EQ(input.events, (QStringList{"key 16 down", "key 17 down", "key 16 up", "key 17 up"}));

    ASSERT_EQ(std::system("rmmod g_serial"), 0);
    ASSERT_TRUE(processEventsUntil([&] { return !form.MSComm1.PortOpen(); }));
    // Opening names the adapter by its vendor and model (the gadget's, which vary with the kernel).
    const QRegularExpression named("^COM1 \\(/dev/ttyACM0\\): .+ \\(/dev/ttyACM0\\)$");
    EXPECT_EQ(logMessages(form).filter(named).size(), 1)
        << logMessages(form).join(u'\n').toStdString();
    // The kernel words the loss as whichever call meets it first hears it.
    const QStringList gone = withoutNames(logMessages(form));
    static const QRegularExpression released(
        "^COM1 \\(/dev/ttyACM0\\) is gone: (No such device|Input/output error); the port is "
        "released$");
    ASSERT_EQ(gone.size(), 3) << gone.join(u'\n').toStdString();
    EXPECT_EQ(gone.mid(0, 2), (QStringList{"SetComPort 1", kCtsIgnored}));
    EXPECT_TRUE(released.match(gone[2]).hasMatch()) << gone[2].toStdString();
    EXPECT_FALSE(QFile::exists(kLockFile));
    // Plugged in again, the same device is opened again by itself, and its lines are followed
    // from their present level: CTS is ignored once more, and said to be.
    ASSERT_NO_FATAL_FAILURE(plugBackIn());
    EXPECT_TRUE(processEventsUntil([&] { return form.MSComm1.PortOpen(); }))
        << logMessages(form).join(u'\n').toStdString();
    EXPECT_TRUE(form.optCom1.value());
    const QStringList back = withoutNames(logMessages(form)).mid(3);
    EXPECT_LE(back.filter(kFailedAgain).size(), 1) << "a failed attempt is told at most once";
    EXPECT_EQ(back.mid(back.size() - 2),
              (QStringList{"COM1 (/dev/ttyACM0) is back; the port is opened again", kCtsIgnored}));
    EXPECT_EQ(form.boxCTS.fillColor(), kIndicatorNotReported);
    EXPECT_EQ(input.events.size(), 4);
}

// The gadget unloaded with its far end open, again and again: cdc-acm reports the loss at once
// while the node stays until the far end closes. Once it stays, COM1 opens by itself and follows
// its lines; each loss is told with one reopen and at most one failure.
TEST_F(RealPortTest, AReplugLoopEndsOpenWithTheLinesFollowed) {
    RecordingInputSink input;
    LinuxForm form(input, "");
    ASSERT_NO_FATAL_FAILURE(chooseCom1(form));
    std::atomic<bool> done = false;
    std::atomic<int> failures = 0;
    std::thread replugger([&] {
        for (int replug = 0; replug < 10; ++replug) {
            std::optional<GadgetEnd> farEnd(std::in_place);
            auto unloading =
                std::async(std::launch::async, [] { return std::system("rmmod g_serial"); });
            std::this_thread::sleep_for(std::chrono::milliseconds(replug % 3 * 10));
            farEnd.reset();
            failures += unloading.get() != 0;
            failures += std::system("modprobe g_serial") != 0;
        }
        done = true;
    });
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    replugger.join();
    ASSERT_EQ(failures, 0);
    // A node still held as the adapter came back gave it another name; a plain node waits for its
    // own.
    if (!processEventsUntil([] { return QFile::exists(kCdcAcmPort); })) {
        ASSERT_NO_FATAL_FAILURE(replugAsAcm0());
    }
    GadgetEnd farEnd;
    EXPECT_TRUE(processEventsUntil([&] { return linesOn(form); }))
        << logMessages(form).join(u'\n').toStdString();
    EXPECT_EQ(input.held(16) + input.held(17) + input.held(18), 2) << "DSR and CD; CTS is ignored";
    const QStringList log = logMessages(form);
    const qsizetype losses = log.filter(" is gone: ").size();
    EXPECT_GE(losses, 1);
    EXPECT_LE(log.filter(kFailedAgain).size(), losses) << log.join(u'\n').toStdString();
    EXPECT_EQ(log.filter(" is back; the port is opened again").size(), losses);
    EXPECT_EQ(log.filter("SetComPort").size(), 1) << "the selection stayed on COM1";
    form.optComNone.setValue(true);
}

}  // namespace
}  // namespace velnor
