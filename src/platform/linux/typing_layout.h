#pragma once

#include <QStringList>

#include "core/problem.h"
#include "platform/uinput/xkb_layout.h"

namespace velnor {

// The keyboard layout uinput types on: the one VELNOR_XKB_LAYOUT names, else the X server's (in a
// Wayland session XWayland's, which follows the compositor's), else US English. Where it came from
// goes to `told`.
Result<XkbLayout> typingLayout(QStringList& told);

}  // namespace velnor
