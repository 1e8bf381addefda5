#pragma once

#include "core/main_form.h"

namespace velnor {

// What the window needs on Linux: `input` and `channel` as chosen at start-up, the Qt event loop
// `loop`, the serial ports of linuxPortBackend(), the locale's time text, a Qt message box, the
// serial devices and the user's port assignments, start at login as an XDG autostart entry, the
// program's command line for a POSIX shell and the Qt clipboard.
Platform linuxPlatform(InputSink& input, EventLoop& loop, CommandChannel* channel = nullptr);

}  // namespace velnor
