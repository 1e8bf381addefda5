#pragma once

#include <string>

#include "platform/x11/held_state.h"

namespace velnor::x11 {

// The guardian process (velnor-guardian) of one XTest connection and the HeldState it reads
// (held_state.h). The guardian is looked for beside the running program, where the package
// installs it, then where the build put it. Starting it waits for nothing; when it cannot start,
// or there is no shared memory for it, one line on standard error says that keys held when Velnor
// is killed may stay down, and the state is kept all the same, in memory of our own.
class Guardian {
  public:
    // Starts the guardian on its own connection to `displayName`.
    explicit Guardian(const char* displayName);
    // Closes the guardian's socket: it sees the end and finds nothing held.
    ~Guardian();
    Guardian(const Guardian&) = delete;
    Guardian& operator=(const Guardian&) = delete;

    // What is held, to be marked before each press and cleared after each release.
    HeldState& state() { return *state_; }

    // Looks, without waiting, whether the guardian has said it can act; says so on standard error
    // once if it cannot. Called as something is held, so the start waits for nothing.
    void confirm();

  private:
    void start(const char* displayName, int memory, int socket);

    HeldState* state_ = nullptr;
    bool shared_ = false;
    int socket_ = -1;
    std::string program_;
    bool confirmed_ = false;
};

}  // namespace velnor::x11
