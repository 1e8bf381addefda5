#pragma once

#include <linux/input.h>

#include <array>
#include <bitset>
#include <memory>

#include "core/input_sink.h"
#include "core/problem.h"
#include "platform/uinput/xkb_layout.h"

namespace velnor {

// The kernel input records of one key or button change: the change, then the report that ends it.
std::array<input_event, 2> keyRecords(uint16_t code, bool down);

// Injects input by writing kernel input records to a uinput device. The device knows no keymap:
// whoever reads it (the compositor, the X server) turns its keys into characters through the
// user's layout, so characters, letters and digits are typed as the keys that give them on
// `layout`. A character the layout lacks is dropped, and told once its text is done.
class UinputInput final : public InputSink {
  public:
    // Takes ownership of `fd`, a uinput device already created (or, in tests, any writable fd).
    UinputInput(int fd, XkbLayout layout);
    // Releases every key and button still held, then removes the device.
    ~UinputInput() override;
    UinputInput(const UinputInput&) = delete;
    UinputInput& operator=(const UinputInput&) = delete;

    void key(int virtualKey, bool down) override;
    void mouseButton(MouseButton button, bool down) override;
    void typeCharacter(char32_t character) override;

  private:
    void send(uint16_t code, bool down);

    int fd_;
    XkbLayout layout_;
    std::u16string layoutName_;
    std::bitset<KEY_CNT> held_;
};

// Creates the virtual keyboard and mouse on `path`, once per run, typing on `layout`. On failure
// the problem's reason is one sentence saying why and how to get access: Missing without the
// device, Permission when this user may not write it.
Result<std::unique_ptr<InputSink>> openUinputInput(XkbLayout layout,
                                                   const char* path = "/dev/uinput");

}  // namespace velnor
