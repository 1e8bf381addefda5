#pragma once

// Waits, without polling, for a device path to come back: an unplugged adapter plugged in again.

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "core/serial_port.h"

namespace velnor::posix {

class DeviceReturnWatch final : public DeviceWatch {
  public:
    // Calls `back` once, on a thread of its own, when `path` exists again and can be opened for
    // reading and writing (udev may give the node its group a moment after creating it). Folders
    // of the path that are gone (udev removes /dev/serial/by-id with its last link) are waited
    // for too.
    DeviceReturnWatch(std::string path, std::function<void()> back);
    // Returns once `back` can no longer be called.
    ~DeviceReturnWatch() override;
    DeviceReturnWatch(const DeviceReturnWatch&) = delete;
    DeviceReturnWatch& operator=(const DeviceReturnWatch&) = delete;

    // False when the system cannot watch (no inotify): nothing will be reported.
    bool watching() const { return inotify_ >= 0; }

  private:
    void run();
    bool present() const;

    std::string path_;
    std::function<void()> back_;
    int inotify_ = -1;
    int stop_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace velnor::posix
