#pragma once

#include <linux/input.h>

#include <array>
#include <bitset>
#include <functional>
#include <memory>

#include "core/input_sink.h"
#include "core/problem.h"
#include "platform/linux/key_map.h"
#include "platform/uinput/xkb_layout.h"

namespace velnor {

// The kernel input records of one key or button change: the change, then the report that ends it.
std::array<input_event, 2> keyRecords(uint16_t code, bool down);

// Where a keymap that replaces the present one comes from while the device lives (a Wayland
// compositor sends its clients a new one when the user changes the layouts).
class KeymapFeed {
  public:
    virtual ~KeymapFeed() = default;
    // From now on, calls `arrived` on the injecting thread with each new keymap, at the layout
    // the user picked where it has it.
    virtual void start(std::function<void(XkbLayout)> arrived) = 0;
};

// Injects input by writing kernel input records to a uinput device. The device knows no keymap:
// whoever reads it (the compositor, the X server) turns its keys into characters through the
// user's layout, so characters, letters and digits are typed as the keys that give them on
// `layout`. A character the layout lacks is dropped, and told once its text is done. Where the
// keymap has several layouts, the window's menu picks the one to type on, kept for the user.
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
    Menu menu() override;

    // Types on each keymap `feed` brings from now on.
    void follow(std::unique_ptr<KeymapFeed> feed);

  private:
    void send(uint16_t code, bool down);
    // Tells, once per key, when the device has no key for `entry` or the layout reads its key as
    // another symbol (F17 as XF86Launch8 on most layouts).
    void checkLayoutGives(const KeyMapEntry& entry);
    // Types on `layout` from now on; the log hears of it when `told` and its name differs.
    void use(XkbLayout layout, const std::u16string& told);

    int fd_;
    XkbLayout layout_;
    std::u16string layoutName_;
    std::bitset<KEY_CNT> held_;
    std::unique_ptr<KeymapFeed> feed_;
};

// The name under which the layout picked in the window is kept for the user.
inline constexpr char kKeptLayout[] = "keyboard-layout";

// Creates the virtual keyboard and mouse on `path`, once per run, typing on `layout`. On failure
// the problem's reason is one sentence saying why and how to get access: Missing without the
// device, Permission when this user may not write it.
Result<std::unique_ptr<UinputInput>> openUinputInput(XkbLayout layout,
                                                     const char* path = "/dev/uinput");

}  // namespace velnor
