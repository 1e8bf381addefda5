#pragma once

#include "core/main_form.h"

namespace velnor {

// What the window needs on Linux: `input` and `channel` as chosen at start-up, the Qt event loop
// `loop`, the serial ports of linuxPortBackend(), the locale's time text and a Qt message box.
Platform linuxPlatform(InputSink& input, EventLoop& loop, CommandChannel* channel = nullptr);

}  // namespace velnor
