#pragma once

#include <memory>
#include <string>

#include "core/problem.h"

struct wl_display;

namespace velnor {

// A connection of our own to the Wayland compositor, for the keymap it hands its clients'
// keyboards: the one the compositor turns our key codes into characters with. A client without
// focus is told each new keymap, but not which of its layouts is active.
class CompositorKeymap {
  public:
    // Connects to `display` (WAYLAND_DISPLAY's when null) and waits for the keymap of the first
    // seat that has a keyboard. A compositor with no keyboard yet sends one when a keyboard comes,
    // which may be our own device.
    static Result<std::unique_ptr<CompositorKeymap>> connect(const char* display = nullptr);
    ~CompositorKeymap();
    CompositorKeymap(const CompositorKeymap&) = delete;
    CompositorKeymap& operator=(const CompositorKeymap&) = delete;

    // The latest keymap, as XKB text; empty while the compositor has no keyboard.
    const std::string& keymap() const { return keymap_; }
    // Readable when the compositor has sent something.
    int fd() const;
    // Takes in what the compositor sent, without waiting: true when a new keymap came. False for
    // good once the connection is lost.
    bool read();
    bool lost() const { return lost_; }

    struct Listener;  // the protocol's callbacks

  private:
    CompositorKeymap() = default;

    wl_display* display_ = nullptr;
    struct Objects;
    std::unique_ptr<Objects> objects_;
    std::string keymap_;
    bool arrived_ = false;  // a keymap came since the last read
    bool lost_ = false;
};

}  // namespace velnor
