#pragma once

// Starting the program when the user logs in, with the arguments of a configuration.

#include <string>
#include <vector>

#include "core/problem.h"

namespace velnor {

class LoginStart {
  public:
    virtual ~LoginStart() = default;
    virtual bool enabled() = 0;
    // Where the entry is kept, for the event log: "/home/ann/.config/autostart/...".
    virtual std::u16string place() = 0;
    // Makes the program start at login with `arguments`, replacing an entry there is.
    virtual Result<> enable(const std::vector<std::u16string>& arguments) = 0;
    virtual Result<> disable() = 0;
};

}  // namespace velnor
