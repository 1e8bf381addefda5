#include "support/fake_modem_driver.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QFile>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdint>
#include <map>
#include <stdexcept>

namespace velnor {
namespace {

std::mutex registryMutex;
std::map<dev_t, FakeModemDriver*> registry;

FakeModemDriver* driverFor(int fd) {
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISCHR(status.st_mode)) return nullptr;
    std::lock_guard lock(registryMutex);
    const auto found = registry.find(status.st_rdev);
    return found == registry.end() ? nullptr : found->second;
}

constexpr int kOutputBits = TIOCM_DTR | TIOCM_RTS;
constexpr int kInputBits[] = {TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RNG};

}  // namespace

PseudoTerminal::PseudoTerminal() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("no pseudo-terminal");
    path_ = QString::fromLocal8Bit(::ptsname(master_));
}

PseudoTerminal::~PseudoTerminal() {
    ::close(master_);
}

FakeModemDriver::FakeModemDriver(const QString& device, Waiting waiting)
    : waiting_(waiting), outputs_(kOutputBits) {
    struct stat status {};
    int pipe[2];
    if (::stat(QFile::encodeName(device).constData(), &status) != 0 ||
        ::pipe2(pipe, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot fake a driver for this device");
    device_ = status.st_rdev;
    wakeRead_ = pipe[0];
    wakeWrite_ = pipe[1];
    std::lock_guard lock(registryMutex);
    registry[device_] = this;
}

FakeModemDriver::~FakeModemDriver() {
    {
        std::lock_guard lock(registryMutex);
        registry.erase(device_);
    }
    ::close(wakeRead_);
    ::close(wakeWrite_);
}

void FakeModemDriver::setInputs(int bits) {
    {
        std::lock_guard lock(mutex_);
        changeInputs(bits);
    }
    wake();
}

void FakeModemDriver::setInputsAfterNextQuietCount(int bits) {
    std::lock_guard lock(mutex_);
    pendingInputs_ = bits;
}

void FakeModemDriver::setInputsAsTheWaitBegins(int bits) {
    std::lock_guard lock(mutex_);
    inputsAtWait_ = bits;
}

int FakeModemDriver::inputs() const {
    std::lock_guard lock(mutex_);
    return inputs_;
}

void FakeModemDriver::changeInputs(int bits) {
    std::copy(std::begin(counters_), std::end(counters_), notified_);
    for (int line = 0; line < 4; ++line)
        if (((inputs_ ^ bits) & kInputBits[line]) != 0) ++counters_[line];
    inputs_ = bits;
}

void FakeModemDriver::wake() {
    const char byte = 1;
    (void)::write(wakeWrite_, &byte, 1);
}

int FakeModemDriver::outputs() const {
    std::lock_guard lock(mutex_);
    return outputs_;
}

void FakeModemDriver::unplug() {
    {
        std::lock_guard lock(mutex_);
        unplugged_ = true;
    }
    wake();
}

bool FakeModemDriver::awaitWaiter() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::seconds(10), [this] { return waiters_ > 0; });
}

int FakeModemDriver::interruptedWaits() const {
    std::lock_guard lock(mutex_);
    return interrupted_;
}

int FakeModemDriver::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

bool FakeModemDriver::handle(unsigned long request, void* argument, int& result) {
    switch (request) {
        case TIOCMGET:
        case TIOCMBIS:
        case TIOCMBIC:
        case TIOCMSET:
        case TIOCGICOUNT:
        case TIOCMIWAIT:
            break;
        default:
            return false;
    }
    std::unique_lock lock(mutex_);
    ++requests_;
    int error = 0;
    if (unplugged_) {
        error = EIO;
    } else if (request == TIOCMGET) {
        *static_cast<int*>(argument) = inputs_ | outputs_;
    } else if (request == TIOCMBIS) {
        outputs_ |= *static_cast<int*>(argument) & kOutputBits;
    } else if (request == TIOCMBIC) {
        outputs_ &= ~*static_cast<int*>(argument);
    } else if (request == TIOCMSET) {
        outputs_ = *static_cast<int*>(argument) & kOutputBits;
    } else if (request == TIOCGICOUNT) {
        serial_icounter_struct counters{};
        counters.cts = counters_[0];
        counters.dsr = counters_[1];
        counters.dcd = counters_[2];
        counters.rng = counters_[3];
        *static_cast<serial_icounter_struct*>(argument) = counters;
        const bool quiet = std::equal(std::begin(counters_), std::end(counters_), answered_);
        std::copy(std::begin(counters_), std::end(counters_), answered_);
        if (quiet && pendingInputs_) {
            changeInputs(*std::exchange(pendingInputs_, std::nullopt));
            std::copy(std::begin(counters_), std::end(counters_), notified_);  // the repeat
            wake();
        }
    } else if (waiting_ == Waiting::Unsupported) {
        error = ENOTTY;
    } else {
        lock.unlock();
        result = wait(static_cast<int>(reinterpret_cast<std::intptr_t>(argument)));
        return true;
    }
    result = error == 0 ? 0 : -1;
    lock.unlock();
    errno = error;
    return true;
}

// Returns when a counter of `mask` moved since the call began, or for LikeCdcAcm since the last
// notification or wait, like the driver's wait.
int FakeModemDriver::wait(int mask) {
    std::unique_lock lock(mutex_);
    if (inputsAtWait_) {
        changeInputs(*std::exchange(inputsAtWait_, std::nullopt));
        std::copy(std::begin(counters_), std::end(counters_), notified_);  // the repeat
    }
    int entry[4];
    std::copy(std::begin(counters_), std::end(counters_), entry);
    int* seen = waiting_ == Waiting::LikeCdcAcm ? notified_ : entry;
    ++waiters_;
    changed_.notify_all();
    int error = 0;
    for (;;) {
        if (unplugged_) {
            error = EIO;
            break;
        }
        bool moved = false;
        for (int line = 0; line < 4; ++line)
            moved = moved || ((mask & kInputBits[line]) != 0 && counters_[line] != seen[line]);
        std::copy(std::begin(counters_), std::end(counters_), seen);
        if (moved) break;
        lock.unlock();
        char wake;
        const bool interrupted = ::read(wakeRead_, &wake, 1) < 0 && errno == EINTR;
        lock.lock();
        if (interrupted) {
            ++interrupted_;
            error = EINTR;
            break;
        }
    }
    --waiters_;
    lock.unlock();
    errno = error;
    return error == 0 ? 0 : -1;
}

}  // namespace velnor

// Every ioctl() of this program passes here; requests on a faked device are answered above.
extern "C" int ioctl(int fd, unsigned long request, ...) noexcept {
    va_list arguments;
    va_start(arguments, request);
    void* argument = va_arg(arguments, void*);
    va_end(arguments);
    if (velnor::FakeModemDriver* driver = velnor::driverFor(fd)) {
        int result = 0;
        if (driver->handle(request, argument, result)) return result;
    }
    using Ioctl = int (*)(int, unsigned long, ...);
    static const auto kernel = reinterpret_cast<Ioctl>(::dlsym(RTLD_NEXT, "ioctl"));
    return kernel(fd, request, argument);
}
