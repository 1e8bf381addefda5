#include "platform/posix/posix_serial_port.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <expected>
#include <memory>
#include <mutex>
#include <optional>
#include <semaphore>
#include <string>
#include <thread>
#include <utility>

#include "platform/posix/driver_facts.h"
#include "platform/posix/lock_file.h"
#include "platform/posix/serial_devices.h"

namespace velnor::posix {
namespace {

using namespace std::chrono_literals;

using Clock = std::chrono::steady_clock;

constexpr auto kPollInterval = 5ms;
// How long the driver's counters must have been still, looked at every kPollInterval, before the
// watcher sleeps in the driver again.
constexpr auto kRecheckWindow = 50ms;
// A driver's wait misses a change that comes after the watcher's last look at the counters and
// before the wait begins: up to kRecheckWindow, and a late wakeup, after the last change it
// reported. A look at the levels this long after that report finds such a change.
constexpr auto kWaitingSettleTime = 2 * kRecheckWindow;
// How long the window waits for a device to open.
constexpr auto kOpenTimeout = 1s;

struct WatchedLine {
    int bit;
    int16_t code;
};
constexpr WatchedLine kWatchedLines[] = {
    {TIOCM_CTS, comEvCTS}, {TIOCM_DSR, comEvDSR}, {TIOCM_CD, comEvCD}, {TIOCM_RNG, comEvRing}};
constexpr int kWatchedBits = TIOCM_CTS | TIOCM_DSR | TIOCM_CD | TIOCM_RNG;

QString systemReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The driver answers these when it lacks an operation (cp210x has no TIOCMIWAIT).
bool unsupported(int error) {
    return error == ENOTTY || error == EINVAL;
}

// The signal that cuts the watcher's wait short. Its handler does nothing, and it is installed
// without SA_RESTART, so the interrupted call returns EINTR instead of waiting on.
int wakeSignal() {
    return SIGRTMIN + 3;
}

void installWakeHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction action {};
        action.sa_handler = [](int) {};
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(wakeSignal(), &action, nullptr);
    });
}

// LCK.. and the device's path below /dev with '/' written as '_'. Links such as
// /dev/serial/by-id/... are resolved first, so every name of one device shares one lock.
QString lockFilePath(const QString& lockDir, const QString& device) {
    QString name = QFileInfo(device).canonicalFilePath();
    if (name.isEmpty()) name = device;
    if (name.startsWith(u"/dev/")) name.remove(0, 5);
    name.replace(u'/', u'_');
    return lockDir + QStringLiteral("/LCK..") + name;
}

Result<LockFile> takeLock(const QString& lockDir, const QString& device) {
    if (::access(QFile::encodeName(lockDir).constData(), W_OK) != 0) return LockFile();
    return takeLockFile(QFile::encodeName(lockFilePath(lockDir, device)).toStdString());
}

// What the system's `error` says about a device that did not open or could not be set up, where
// it says more than the step that failed (`otherwise`).
ProblemKind kindOf(int error, ProblemKind otherwise) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return ProblemKind::Missing;
        case EACCES:
        case EPERM:
            return ProblemKind::Permission;
        case EBUSY:
            return ProblemKind::Busy;
        case ENOTTY:
            return ProblemKind::NotSerialPort;
        // An unplugged adapter hangs its tty up before udev removes the node.
        case EIO:
            return ProblemKind::Gone;
        default:
            return otherwise;
    }
}

Problem openFailure(int error) {
    QString reason = systemReason(error);
    if (error == EACCES || error == EPERM)
        reason += QStringLiteral("; the user may need to be in the dialout group");
    else if (error == EBUSY)
        reason += QStringLiteral("; another program holds the port");
    return {kindOf(error, ProblemKind::Other), reason.toStdU16String()};
}

// The driver's latency timer at 1 ms. True where this call set the flag, so that closing the port
// clears it again; the system's error where the driver refuses.
std::expected<bool, int> setLowLatency(int fd) {
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return std::unexpected(errno);
    if ((serial.flags & ASYNC_LOW_LATENCY) != 0) return false;
    serial.flags |= ASYNC_LOW_LATENCY;
    if (::ioctl(fd, TIOCSSERIAL, &serial) != 0) return std::unexpected(errno);
    return true;
}

// The driver's own latency timer again; a device that has gone refuses, which leaves nothing to
// restore.
void clearLowLatency(int fd) {
    serial_struct serial{};
    if (::ioctl(fd, TIOCGSERIAL, &serial) != 0) return;
    serial.flags &= ~ASYNC_LOW_LATENCY;
    ::ioctl(fd, TIOCSSERIAL, &serial);
}

// What the lines looked like at the open; the watcher reports every change from there on.
struct Baseline {
    int levels;
    std::optional<serial_icounter_struct> counters;  // none where the driver keeps no counters
};

class PosixPort final : public SerialPort {
  public:
    PosixPort(int fd, LockFile lock, PortListener& listener, Baseline baseline,
              ReportedLines reported, bool lowLatencySet)
        : fd_(fd),
          lock_(std::move(lock)),
          listener_(listener),
          baseline_(baseline),
          reported_(std::move(reported)),
          lowLatencySet_(lowLatencySet),
          polling_(!baseline.counters),
          sample_(baseline.levels) {
        installWakeHandler();
        watcher_ = std::thread([this] { watch(); });
    }

    ~PosixPort() override {
        stopping_ = true;
        // The signal may land just before the watcher enters its wait; then it is sent again.
        do ::pthread_kill(watcher_.native_handle(), wakeSignal());
        while (!finished_.try_acquire_for(2ms));
        watcher_.join();
        if (lowLatencySet_) clearLowLatency(fd_);
        ::close(fd_);
    }

    // A device that has vanished refuses these; the watcher reports it.
    void setDtr(bool on) override { setBit(TIOCM_DTR, on); }
    void setRts(bool on) override { setBit(TIOCM_RTS, on); }

    // While polling, the levels of the last sample: a fresh read could disagree with the sample
    // that a report came from (a bouncing switch), and no later sample would tell.
    ModemLevels levels() override {
        int bits = sample_;
        if (!polling_ && ::ioctl(fd_, TIOCMGET, &bits) != 0) return {};
        return {.cts = (bits & TIOCM_CTS) != 0,
                .dsr = (bits & TIOCM_DSR) != 0,
                .cd = (bits & TIOCM_CD) != 0,
                .ri = (bits & TIOCM_RNG) != 0};
    }

    std::chrono::milliseconds settleTime() const override {
        return polling_ ? kPollInterval : kWaitingSettleTime;
    }

    ReportedLines reportedLines() const override { return reported_; }

  private:
    void setBit(int bit, bool on) { ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit); }

    void watch() {
        sigset_t wake;
        sigemptyset(&wake);
        sigaddset(&wake, wakeSignal());
        ::pthread_sigmask(SIG_UNBLOCK, &wake, nullptr);
        if (baseline_.counters)
            waitForChanges(*baseline_.counters);
        else
            pollForChanges(baseline_.levels);
        finished_.release();
    }

    // Sleeps in the driver until a watched line changes, and compares the driver's counters
    // with those of the last look, so that a change made between two waits is not lost. The
    // wait of cdc-acm misses a change that arrives, followed by a repeated notification of the
    // same levels, while the watcher is on its way into it; changes come in bursts, so after a
    // change (and at the start) the counters are looked at every few milliseconds until they
    // have been still for a while, and only then does the watcher sleep in the driver again.
    void waitForChanges(serial_icounter_struct seen) {
        while (!stopping_) {
            for (Clock::time_point stillSince = Clock::now();;) {
                const std::optional<int> changed = lookAtCounters(seen);
                if (!changed) return;
                const Clock::time_point now = Clock::now();
                if (*changed != 0) stillSince = now;
                if (now - stillSince >= kRecheckWindow) break;
                pause();
                if (stopping_) return;
            }
            if (::ioctl(fd_, TIOCMIWAIT, kWatchedBits) != 0 && errno != EINTR)
                return unsupported(errno) ? pollAfterCounters(seen) : lose(errno);
        }
    }

    // Reports the lines whose counters moved since `seen` and returns their bits; `seen` becomes
    // the counters now. Nothing when the device is gone, which is reported.
    std::optional<int> lookAtCounters(serial_icounter_struct& seen) {
        serial_icounter_struct now{};
        if (::ioctl(fd_, TIOCGICOUNT, &now) != 0) {
            lose(errno);
            return std::nullopt;
        }
        const int changed =
            (seen.cts != now.cts ? TIOCM_CTS : 0) | (seen.dsr != now.dsr ? TIOCM_DSR : 0) |
            (seen.dcd != now.dcd ? TIOCM_CD : 0) | (seen.rng != now.rng ? TIOCM_RNG : 0);
        report(changed);
        seen = now;
        return changed;
    }

    // The driver keeps counters but cannot wait (cp210x). From the first sample on, the levels
    // read are the samples; a change between the last look at the counters and that sample is
    // in the sample, so the counters are looked at once more to report it.
    void pollAfterCounters(serial_icounter_struct seen) {
        int levels = 0;
        if (::ioctl(fd_, TIOCMGET, &levels) != 0) return lose(errno);
        sample_ = levels;
        polling_ = true;
        if (lookAtCounters(seen)) pollForChanges(levels);
    }

    void pollForChanges(int seen) {
        listener_.notice(
            QStringLiteral(
                "the driver cannot wait for line changes, so they are polled every %1 ms")
                .arg(kPollInterval.count())
                .toStdU16String());
        while (!stopping_) {
            pause();
            int now = 0;
            if (::ioctl(fd_, TIOCMGET, &now) != 0) return lose(errno);
            sample_ = now;  // before the report, which the window answers by reading the sample
            report((seen ^ now) & kWatchedBits);
            seen = now;
        }
    }

    // Cut short by the wake signal when the port closes.
    static void pause() {
        const timespec interval{0, std::chrono::nanoseconds(kPollInterval).count()};
        ::nanosleep(&interval, nullptr);
    }

    void report(int changedBits) {
        for (const WatchedLine& line : kWatchedLines)
            if ((changedBits & line.bit) != 0) listener_.lineChanged(line.code);
    }

    void lose(int error) {
        if (!stopping_) listener_.gone(systemReason(error).toStdU16String());
    }

    const int fd_;
    LockFile lock_;
    PortListener& listener_;
    const Baseline baseline_;
    const ReportedLines reported_;
    const bool lowLatencySet_;  // by the open, so the close clears it
    std::atomic<bool> stopping_{false};
    std::atomic<bool> polling_;
    std::atomic<int> sample_;  // the levels of the last poll
    std::binary_semaphore finished_{0};
    std::thread watcher_;
};

// The device opened and set up for its modem lines: what the watcher starts from.
struct OpenedDevice {
    int fd;
    Baseline baseline;
    std::expected<bool, int> lowLatency;  // setLowLatency's answer, false where not asked for
};

// Closes a device whose port never came to be.
void closeDevice(const OpenedDevice& device) {
    if (device.lowLatency.value_or(false)) clearLowLatency(device.fd);
    ::close(device.fd);
}

// `lowLatency`: the driver holds line changes back by a latency timer that it can shorten.
Result<OpenedDevice> setUpDevice(const QByteArray& path, bool lowLatency) {
    const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return std::unexpected(openFailure(errno));
    const auto refuse = [fd](ProblemKind kind, const QString& what) {
        const int error = errno;
        ::close(fd);
        return std::unexpected(
            Problem{kindOf(error, kind),
                    QStringLiteral("%1 (%2)").arg(what, systemReason(error)).toStdU16String()});
    };
    if (::ioctl(fd, TIOCEXCL) != 0)
        return refuse(ProblemKind::NotSerialPort, QStringLiteral("not a terminal"));
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0)
        return refuse(ProblemKind::NotSerialPort, QStringLiteral("not a terminal"));
    settings.c_cflag |= CLOCAL | CREAD;
    settings.c_cflag &= ~CRTSCTS;
    if (::tcsetattr(fd, TCSANOW, &settings) != 0)
        return refuse(ProblemKind::Other, QStringLiteral("the line settings were refused"));
    Baseline baseline{};
    if (::ioctl(fd, TIOCMGET, &baseline.levels) != 0)
        return refuse(ProblemKind::NotSerialPort,
                      QStringLiteral("the device has no modem-control lines"));
    serial_icounter_struct counters{};
    if (::ioctl(fd, TIOCGICOUNT, &counters) == 0)
        baseline.counters = counters;
    else if (!unsupported(errno))
        return refuse(ProblemKind::Other, QStringLiteral("the device does not answer"));
    return OpenedDevice{fd, baseline, lowLatency ? setLowLatency(fd) : false};
}

// Opens and sets up the device on a thread of its own and waits for it at most kOpenTimeout: a
// driver may keep open() or an ioctl waiting however the file was opened (a port still draining
// its last close, a hung adapter), and the window must not wait with it. An open that comes too
// late is closed by that thread when it returns at last.
Result<OpenedDevice> openDevice(const QString& device, bool lowLatency) {
    struct Attempt {
        std::mutex mutex;
        std::condition_variable finished;
        std::optional<Result<OpenedDevice>> result;
        bool abandoned = false;
    };
    auto attempt = std::make_shared<Attempt>();
    std::thread([attempt, path = QFile::encodeName(device), lowLatency] {
        Result<OpenedDevice> result = setUpDevice(path, lowLatency);
        const std::lock_guard lock(attempt->mutex);
        if (attempt->abandoned) {
            if (result) closeDevice(*result);
            return;
        }
        attempt->result = std::move(result);
        attempt->finished.notify_one();
    }).detach();
    std::unique_lock lock(attempt->mutex);
    if (!attempt->finished.wait_for(lock, kOpenTimeout,
                                    [&] { return attempt->result.has_value(); })) {
        attempt->abandoned = true;
        return std::unexpected(
            Problem{ProblemKind::TimedOut, QStringLiteral("the device did not answer within %1 ms")
                                               .arg(std::chrono::milliseconds(kOpenTimeout).count())
                                               .toStdU16String()});
    }
    return std::move(*attempt->result);
}

}  // namespace

OpenResult openPort(const std::u16string& devicePath, PortListener& listener,
                    const std::u16string& lockDir) {
    const QString device = QString::fromStdU16String(devicePath);
    const std::string driver = ttyDriver(QFile::encodeName(device).toStdString());
    const DriverFacts& facts = driverFacts(driver);
    Result<LockFile> lock = takeLock(QString::fromStdU16String(lockDir), device);
    if (!lock) return std::unexpected(std::move(lock.error()));
    Result<OpenedDevice> opened = openDevice(device, facts.latencyTimer.count() > 0);
    if (!opened) return std::unexpected(std::move(opened.error()));
    if (!opened->lowLatency)
        listener.notice(
            QStringLiteral("the %1 driver refused low latency (%2), so line changes may "
                           "come up to %3 ms late")
                .arg(QString::fromStdString(driver), systemReason(opened->lowLatency.error()))
                .arg(facts.latencyTimer.count())
                .toStdU16String());
    return std::make_unique<PosixPort>(
        opened->fd, std::move(*lock), listener, opened->baseline,
        ReportedLines{.lines = facts.reported,
                      .driver = QString::fromStdString(driver).toStdU16String()},
        opened->lowLatency.value_or(false));
}

}  // namespace velnor::posix
