#pragma once

// Helpers for the programs that run inside the virtual machine of scripts/vm-run, where
// /dev/ttyACM0 is a cdc-acm port whose far end is the USB serial gadget /dev/ttyGS0.

#include <sys/types.h>

#include <QString>
#include <vector>

namespace velnor::test {

inline constexpr char kCdcAcmPort[] = "/dev/ttyACM0";
inline constexpr char kGadgetPort[] = "/dev/ttyGS0";

// True inside the virtual machine (the gadget side exists).
bool inVmGuest();

// The far end of the port held open: DSR and CD are up on the port for as long as it lives.
class GadgetEnd {
  public:
    GadgetEnd();
    ~GadgetEnd() { close(); }
    GadgetEnd(const GadgetEnd&) = delete;
    GadgetEnd& operator=(const GadgetEnd&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void close();

  private:
    int fd_;
};

// Context switches so far, voluntary and involuntary, of every thread of this process but the
// calling one: each is a wakeup or a preemption. The caller may sleep through a measurement.
long contextSwitchesOfOtherThreads();

// The threads of this process blocked in ioctl(..., request) at this moment.
std::vector<pid_t> threadsInIoctl(unsigned long request);

// Exactly one thread of this process sleeps in the driver until a modem line changes
// (TIOCMIWAIT): the watcher of the one open port, idle.
bool portWatcherSleeps();

}  // namespace velnor::test
