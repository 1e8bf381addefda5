#pragma once

// An entry of the desktop that starts the program with the arguments of a configuration: at
// login, or from the desktop's menu.

#include <string>
#include <vector>

#include "core/problem.h"

namespace velnor {

class StartEntry {
  public:
    virtual ~StartEntry() = default;
    virtual bool enabled() = 0;
    // Where the entry is kept, for the event log: "/home/ann/.config/autostart/...".
    virtual std::u16string place() = 0;
    // Makes the entry start the program with `arguments`, replacing those it had.
    virtual Result<> enable(const std::vector<std::u16string>& arguments) = 0;
    virtual Result<> disable() = 0;
};

}  // namespace velnor
