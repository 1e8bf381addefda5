#pragma once

#include <sys/stat.h>

#include <QString>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace velnor {

// A pseudo-terminal with a real device node, for tests of the POSIX serial backend.
class PseudoTerminal {
  public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Path of the terminal end, such as /dev/pts/3.
    const QString& path() const { return path_; }

  private:
    int master_ = -1;
    QString path_;
};

// Gives the terminal end of a pseudo-terminal the modem-control lines of a serial driver, for as
// long as the object lives. This test program replaces ioctl(): the modem requests on that device
// (TIOCMGET, TIOCMBIS, TIOCMBIC, TIOCGICOUNT, TIOCMIWAIT) are answered here as a UART driver
// answers them, everything else goes to the kernel. TIOCMIWAIT blocks in a real system call, so a
// signal interrupts it exactly as it interrupts the driver's wait.
class FakeModemDriver {
  public:
    enum class Waiting {
        Supported,   // TIOCMIWAIT returns on a change after it began, as the UART drivers do
        LikeCdcAcm,  // it returns on a change since the driver's last notification, as cdc-acm
        Unsupported  // it fails, as on cp210x
    };

    explicit FakeModemDriver(const QString& device, Waiting waiting = Waiting::Supported);
    ~FakeModemDriver();
    FakeModemDriver(const FakeModemDriver&) = delete;
    FakeModemDriver& operator=(const FakeModemDriver&) = delete;

    // Sets the input lines (TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RNG); each line that changes
    // counts one interrupt, as the UART counts it.
    void setInputs(int bits);
    // The output lines (TIOCM_DTR, TIOCM_RTS) as last set; both up after the open, as the kernel
    // raises them.
    int outputs() const;
    // From now on every request fails with EIO, as on an unplugged USB adapter.
    void unplug();
    // Sets the input lines, followed by a second notification of the same levels (LikeCdcAcm),
    // right after the next TIOCGICOUNT that finds no change: a caller that goes on to wait in
    // the driver misses the change.
    void setInputsAfterNextQuietCount(int bits);
    // Sets the input lines, with a second notification of the same levels, as the next
    // TIOCMIWAIT begins: after the caller's last look at the counters, too late for its wait,
    // which misses the change (any waiting driver, for a change in that moment).
    void setInputsAsTheWaitBegins(int bits);
    // The input lines as they are now.
    int inputs() const;

    // Blocks until a caller sits in TIOCMIWAIT (false if none comes within seconds).
    bool awaitWaiter();
    int interruptedWaits() const;
    // Number of modem requests answered so far.
    int requests() const;

    // Answers a modem request on this device; false for requests it leaves to the kernel.
    bool handle(unsigned long request, void* argument, int& result);

  private:
    void changeInputs(int bits);  // with mutex_ held
    void wake();
    int wait(int mask);

    dev_t device_;
    Waiting waiting_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    int inputs_ = 0;
    int outputs_;
    int counters_[4] = {};  // cts, dsr, cd, ring
    int notified_[4] = {};  // LikeCdcAcm: the counters as of the last notification or wait
    int answered_[4] = {};  // the counters last answered to TIOCGICOUNT
    std::optional<int> pendingInputs_;
    std::optional<int> inputsAtWait_;
    bool unplugged_ = false;
    int waiters_ = 0;
    int interrupted_ = 0;
    int requests_ = 0;
};

}  // namespace velnor
