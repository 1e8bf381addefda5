#pragma once

#include <sys/types.h>

#include <QString>

namespace velnor::test {

// A dbus-daemon of its own on a session bus configuration, ended with the object.
class DbusDaemon {
  public:
    DbusDaemon();
    ~DbusDaemon();
    DbusDaemon(const DbusDaemon&) = delete;
    DbusDaemon& operator=(const DbusDaemon&) = delete;

    // Its address, or "" when it could not start.
    const QString& address() const { return address_; }
    pid_t pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    QString address_;
};

// A private D-Bus session bus for this test program: a dbus-daemon started on first use and
// ended with the program. Returns its address, or "" when it cannot start.
const QString& sessionBusAddress();

}  // namespace velnor::test
