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

// The threads of this process, by thread id.
std::vector<pid_t> threads();

// Context switches of one thread of this process so far, voluntary and involuntary: each is a
// wakeup (or a preemption) of the thread.
long contextSwitches(pid_t thread);

// The threads of this process blocked in ioctl(..., request) at this moment.
std::vector<pid_t> threadsInIoctl(unsigned long request);

}  // namespace velnor::test
