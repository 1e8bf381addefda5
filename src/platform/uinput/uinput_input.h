#pragma once

#include <linux/input.h>

#include <array>
#include <bitset>
#include <memory>
#include <optional>

#include "core/input_sink.h"
#include "core/problem.h"

namespace velnor {

// The kernel input records of one key or button change: the change, then the report that ends it.
std::array<input_event, 2> keyRecords(uint16_t code, bool down);

// Where a character sits on a US keyboard, the layout the uinput backend assumes: the key's Linux
// code and whether Shift is needed. Nothing for characters that layout cannot type.
struct LayoutKey {
    uint16_t code;
    bool shift;
};
std::optional<LayoutKey> usLayoutKey(char32_t character);

// Injects input by writing kernel input records to a uinput device. The device knows no keymap:
// characters are typed as the keys of a US layout, and others are dropped.
class UinputInput final : public InputSink {
  public:
    // Takes ownership of `fd`, a uinput device already created (or, in tests, any writable fd).
    explicit UinputInput(int fd);
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
    std::bitset<KEY_CNT> held_;
};

// Creates the virtual keyboard and mouse on `path`, once per run. On failure the problem's reason
// is one sentence saying why and how to get access: Missing without the device, Permission when
// this user may not write it.
Result<std::unique_ptr<InputSink>> openUinputInput(const char* path = "/dev/uinput");

}  // namespace velnor
