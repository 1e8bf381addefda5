#pragma once

#include <QString>
#include <expected>
#include <memory>

#include "core/event_loop.h"
#include "platform/linux/synthetic_input.h"

namespace velnor {

// Opens an XTest input backend on its own connection to `displayName` (null: $DISPLAY). On
// failure returns one sentence saying why and what to do. The sink releases every key and button
// it still holds, and undoes its temporary keymap entries, when it is destroyed; a guardian
// process (velnor-guardian) does the same when the program ends without destroying it.
//
// Characters the keymap lacks are typed through keycodes bound for the moment; a keycode is bound
// anew only a while after its last use, so that clients read what it stood for. A character that
// has to wait for one, and every injection after it, goes out later from `loop`, which must
// outlive the sink: nothing here sleeps, and a sink destroyed meanwhile drops what still waits.
std::expected<std::unique_ptr<InputSink>, QString> openXTestInput(
    EventLoop& loop, const char* displayName = nullptr);

}  // namespace velnor
