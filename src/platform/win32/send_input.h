#pragma once

#include <array>
#include <set>

#include "core/input_sink.h"

namespace velnor {

// Injects keys, mouse buttons and characters with SendInput into the session's input stream, so
// they reach the focused window. Characters go through the focused window's keyboard layout, with
// the Shift, Ctrl and Alt it asks for; characters the layout lacks are sent as Unicode packets.
// Releases every key and button it still holds when destroyed.
class SendInputSink final : public InputSink {
  public:
    SendInputSink() = default;
    SendInputSink(const SendInputSink&) = delete;
    SendInputSink& operator=(const SendInputSink&) = delete;
    ~SendInputSink() override;

    void key(int virtualKey, bool down) override;
    void mouseButton(MouseButton button, bool down) override;
    void typeCharacter(char32_t character) override;

  private:
    // Tells the problem reporter whether the last SendInput call injected everything.
    void injected(bool all);

    std::set<int> heldKeys_;
    std::array<bool, 3> heldButtons_{};
};

}  // namespace velnor
