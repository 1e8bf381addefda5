#pragma once

// The local command channel through which other programs, and a second start of this one, reach
// the running window: DDE on Windows, the D-Bus session bus on Linux.

#include <functional>
#include <string>
#include <string_view>

#include "core/problem.h"

namespace velnor {

class CommandChannel {
  public:
    enum class Claim { Owner, AnotherCopyRuns, Unavailable };

    // What the owner of the channel answers with, called on the window's thread.
    struct Topic {
        // A client opens a conversation; setting `cancel` non-zero refuses it.
        std::function<void(int& cancel)> linkOpen;
        // A client executes a command; setting `cancel` non-zero refuses it.
        std::function<void(const std::u16string& command, int& cancel)> linkExecute;
        // The event log's text, for clients that read it.
        std::function<std::u16string()> eventLog;
        // What clients may read: the open port ("COM2 (/dev/ttyUSB0)", empty for none), and
        // whether a line ("DSR", "CTS", "CD", "RI") is on, after its polarity.
        std::function<std::u16string()> port;
        std::function<bool(std::u16string_view line)> lineOn;
        // A second start without a command line asks to see the window.
        std::function<void()> show;
        // What the channel itself has to say in the event log: a command it could not take.
        std::function<void(std::u16string_view message)> log{};
    };

    virtual ~CommandChannel() = default;
    // Serves `topic` and takes the program's name: Owner when this copy now answers commands,
    // AnotherCopyRuns when a running copy holds the name, Unavailable when the channel cannot be
    // used (problem() then says why).
    virtual Claim claim(Topic topic) = 0;
    virtual Problem problem() const = 0;
    // Client side: delivers one command to the running copy. Fails Missing when no running copy
    // answers, TimedOut when it does not answer in time, Other when it refuses the command.
    virtual Result<> execute(const std::u16string& command) = 0;
    // Client side: asks the running copy to show its window; fails as execute() does.
    virtual Result<> show() = 0;
    // Tells listening clients that a line went on or off; the owner calls it on the window's
    // thread.
    virtual void announceLine(std::u16string_view line, bool on) = 0;
};

}  // namespace velnor
