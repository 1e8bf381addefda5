#pragma once

#include <memory>

#include "core/event_loop.h"
#include "core/input_sink.h"
#include "core/problem.h"

namespace velnor {

// Opens an XTest input backend on its own connection to `displayName` (null: $DISPLAY). On
// failure the problem's reason is one sentence saying why and what to do: Missing without a
// display to open, Other when it lacks XTest. The sink releases every key and button
// it still holds, and undoes its temporary keymap entries, when it is destroyed; a guardian
// process (velnor-guardian) does the same when the program ends without destroying it. When the
// guardian is missing or cannot act, the sink's problem reporter says so as the first key or
// button goes down.
//
// Characters the keymap lacks are typed through keycodes bound for the moment; a keycode is bound
// anew only a while after its last use, so that clients read what it stood for. A character that
// has to wait for one, and every injection after it, goes out later from `loop`, which must
// outlive the sink: nothing here sleeps, and a sink destroyed meanwhile drops what still waits.
Result<std::unique_ptr<InputSink>> openXTestInput(EventLoop& loop,
                                                  const char* displayName = nullptr);

}  // namespace velnor
