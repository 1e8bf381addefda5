#pragma once

#include <QStringList>
#include <memory>

#include "core/problem.h"
#include "platform/uinput/uinput_input.h"
#include "platform/uinput/xkb_layout.h"

namespace velnor {

// The keyboard layout uinput types on, and where the keymaps that replace it come from.
struct TypingLayout {
    XkbLayout layout;
    std::unique_ptr<KeymapFeed> feed{};  // null where the source sends none
};

// Whether the desktop is a Wayland session, where XTest reaches X clients only.
bool waylandSession();

// The layout uinput types on, from the first source that answers: VELNOR_XKB_LAYOUT (with
// VELNOR_XKB_VARIANT); in a Wayland session the compositor's keymap, followed as it changes; the
// X server's keymap at its active layout; the system's layout (org.freedesktop.locale1); else US
// English. Of a keymap with several layouts, the one the user picked in the window where it has
// it. Where it came from, and what did not answer, goes to `told`.
Result<TypingLayout> typingLayout(QStringList& told);

}  // namespace velnor
