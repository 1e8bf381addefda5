#pragma once

#include <string_view>

#include "core/problem.h"

namespace velnor::dbus {

// Where a running copy answers on the session bus (DBusChannel serves it).
inline constexpr char kService[] = "org.velnor.Velnor";
inline constexpr char kPath[] = "/MainForm";
inline constexpr char kInterface[] = "org.velnor.Velnor.Topic";
// How long a second start waits for the running copy's answer.
inline constexpr int kCallTimeoutMs = 10000;

// A second start's call to the running copy: Execute with `commandLine`, or Show when it is
// empty, as DBusChannel's client side makes it. On libdbus alone, so that a start that hands over
// loads no toolkit and touches no display. Fails Missing when no copy holds the name or there is
// no session bus, Other with the bus's or the running copy's words otherwise (a refusal, no answer
// in time). A call that reached a copy leaves its connection to the process's end.
Result<> handOver(std::u16string_view commandLine);

}  // namespace velnor::dbus
