#pragma once

#include <optional>
#include <string>
#include <thread>

#include "platform/x11/held_state.h"

namespace velnor::x11 {

// The guardian process (velnor-guardian) of one XTest connection and the HeldState it reads
// (held_state.h). The guardian is looked for only beside the running program and where the
// package installs it, ../libexec/velnor from the program's folder: a copy of the program run
// from anywhere starts no other program. Starting it waits for nothing. When it is not found,
// cannot start, or there is no shared memory or X connection for it, the state is kept all the
// same, in memory of our own, and confirm() says so. The guardian is started on a thread of its
// own, so that the window's thread goes on while the system creates the process.
class Guardian {
  public:
    // Starts the guardian on a connection of its own to `displayName`, which the program makes for
    // it; it acts once the program has ended and the server has destroyed `window`, a window of the
    // program's own connection.
    Guardian(const char* displayName, unsigned long window);
    // Closes the guardian's socket: it sees the end and finds nothing held.
    ~Guardian();
    Guardian(const Guardian&) = delete;
    Guardian& operator=(const Guardian&) = delete;

    // What is held, to be marked before each press and cleared after each release.
    HeldState& state() { return *state_; }

    // Looks, without waiting, whether the guardian has said it can act. Once it is known that it
    // cannot, returns one sentence for the event log saying why (only that once); otherwise
    // nothing. Called as something is held, so the start waits for nothing.
    std::optional<std::u16string> confirm();

  private:
    void start(const std::string& windowId, int memory, int socket);
    // Waits until the guardian has been started; problem_ and program_ are ours after that.
    void started();

    HeldState* state_ = nullptr;
    bool shared_ = false;
    int socket_ = -1;
    std::string program_;
    std::string display_;
    std::optional<std::u16string> problem_;  // found at the start, not told yet
    bool confirmed_ = false;
    std::thread starter_;
};

}  // namespace velnor::x11
