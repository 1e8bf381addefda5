#pragma once

// How the platform says that something cannot be done: a kind the program can act on, and the
// reason in words for the event log.

#include <expected>
#include <string>

namespace velnor {

enum class ProblemKind {
    Other,
    Missing,        // no such device or file
    Permission,     // not permitted to this user
    Busy,           // held by another program
    NotSerialPort,  // opens, but has no modem lines
    Gone,           // was there and went away (an unplugged adapter, a lost connection)
    TimedOut,       // no answer in time
};

struct Problem {
    ProblemKind kind = ProblemKind::Other;
    // Why, as part of a sentence that names what failed: "permission denied (is the user in the
    // dialout group?)", "/home/ann/.config/velnor/ports.ini cannot be written".
    std::u16string reason;

    bool operator==(const Problem&) const = default;
};

// What an operation that can fail gives back: its value, or the problem.
template <class T = void>
using Result = std::expected<T, Problem>;

}  // namespace velnor
