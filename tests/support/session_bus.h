#pragma once

#include <QString>

namespace velnor::test {

// A private D-Bus session bus for this test program: a dbus-daemon started on first use and
// ended with the program. Returns its address, or "" when it cannot start.
const QString& sessionBusAddress();

}  // namespace velnor::test
