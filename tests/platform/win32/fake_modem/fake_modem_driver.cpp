// Preloaded into Wine (LD_PRELOAD), where a Windows program's COM port requests become ioctl()
// calls of the same process: answers the modem requests on the pseudo-terminal named in the state
// file $VELNOR_FAKE_MODEM from that file, as a UART driver answers them, and passes everything
// else to the kernel. Built for the build machine, not for Windows.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>

#include "fake_modem_state.h"

namespace {

using velnor::fake_modem::State;
namespace fm = velnor::fake_modem;

int stateFile() {
    static const int fd = [] {
        const char* path = std::getenv("VELNOR_FAKE_MODEM");
        return path ? ::open(path, O_RDWR | O_CLOEXEC) : -1;
    }();
    return fd;
}

bool readState(State& state) {
    return ::pread(stateFile(), &state, sizeof(state), 0) == sizeof(state);
}

bool isFakePort(int fd, State& state) {
    struct stat status {};
    return stateFile() >= 0 && ::fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) &&
           readState(state) && state.device == status.st_rdev;
}

int modemBits(const State& state) {
    int bits = 0;
    if (state.inputs & fm::kCts) bits |= TIOCM_CTS;
    if (state.inputs & fm::kDsr) bits |= TIOCM_DSR;
    if (state.inputs & fm::kCd) bits |= TIOCM_CD;
    if (state.inputs & fm::kRing) bits |= TIOCM_RNG;
    if (state.outputs & fm::kDtr) bits |= TIOCM_DTR;
    if (state.outputs & fm::kRts) bits |= TIOCM_RTS;
    return bits;
}

void writeOutputs(uint32_t outputs) {
    (void)::pwrite(stateFile(), &outputs, sizeof(outputs), fm::kOutputOffset);
}

uint32_t outputBits(int bits) {
    return ((bits & TIOCM_DTR) ? fm::kDtr : 0) | ((bits & TIOCM_RTS) ? fm::kRts : 0);
}

int fail(int error) {
    errno = error;
    return -1;
}

// Returns once a counter of `mask` moves, polling the state file as a driver's interrupt would
// wake it.
int waitForChange(int mask, State state) {
    const State start = state;
    const int lines[] = {TIOCM_CTS, TIOCM_DSR, TIOCM_CD, TIOCM_RNG};
    for (;;) {
        ::usleep(2000);
        if (!readState(state)) return fail(EIO);
        if (state.unplugged) return fail(EIO);
        for (int line = 0; line < 4; ++line)
            if ((mask & lines[line]) && state.counts[line] != start.counts[line]) return 0;
    }
}

int answer(unsigned long request, void* argument, State& state) {
    if (state.unplugged) return fail(EIO);
    switch (request) {
        case TIOCMGET: {
            *static_cast<int*>(argument) = modemBits(state);
            const uint32_t reads = state.levelReads + 1;
            (void)::pwrite(stateFile(), &reads, sizeof(reads), fm::kLevelReadsOffset);
            return 0;
        }
        case TIOCMBIS:
            writeOutputs(state.outputs | outputBits(*static_cast<int*>(argument)));
            return 0;
        case TIOCMBIC:
            writeOutputs(state.outputs & ~outputBits(*static_cast<int*>(argument)));
            return 0;
        case TIOCMSET:
            writeOutputs(outputBits(*static_cast<int*>(argument)));
            return 0;
        case TIOCGICOUNT: {
            serial_icounter_struct counters{};
            counters.cts = int(state.counts[0]);
            counters.dsr = int(state.counts[1]);
            counters.dcd = int(state.counts[2]);
            counters.rng = int(state.counts[3]);
            *static_cast<serial_icounter_struct*>(argument) = counters;
            return 0;
        }
        case TIOCMIWAIT:
            return waitForChange(int(reinterpret_cast<intptr_t>(argument)), state);
        default:
            return 1;  // not a modem request
    }
}

using Ioctl = int (*)(int, unsigned long, ...);

int intercept(Ioctl kernel, int fd, unsigned long request, void* argument) {
    State state{};
    if (isFakePort(fd, state)) {
        const int result = answer(request, argument, state);
        if (result <= 0) return result;
    }
    return kernel(fd, request, argument);
}

Ioctl next(const char* name) {
    return reinterpret_cast<Ioctl>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

// One interposer under each name the C library's ioctl has: 32-bit programs built with a 64-bit
// time_t, 32-bit Wine among them, call __ioctl_time64.
#define FAKE_MODEM_IOCTL(name)                                         \
    extern "C" int name(int fd, unsigned long request, ...) noexcept { \
        va_list arguments;                                             \
        va_start(arguments, request);                                  \
        void* argument = va_arg(arguments, void*);                     \
        va_end(arguments);                                             \
        static const Ioctl kernel = next(#name);                       \
        return intercept(kernel, fd, request, argument);               \
    }

FAKE_MODEM_IOCTL(ioctl)
#if defined(__i386__)
FAKE_MODEM_IOCTL(__ioctl_time64)
#endif
