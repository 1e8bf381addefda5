#pragma once

#include <memory>

#include "core/event_loop.h"
#include "core/input_sink.h"
#include "core/problem.h"

namespace velnor {

// An X connection readied for XTest: opened, its extensions asked for, the keymap read and the
// guardian (below) started. Made on any thread, so that this waiting on the server can go on
// beside the window system's start; the sink is made from it on the event loop's thread. Destroyed
// unused, it closes the connection.
struct XTestConnection;
struct XTestConnectionDeleter {
    void operator()(XTestConnection* connection) const;
};
using PreparedXTest = std::unique_ptr<XTestConnection, XTestConnectionDeleter>;

// Readies an XTest connection to `displayName` (null: $DISPLAY). On failure the problem's reason
// is one sentence saying why and what to do: Missing without a display to open, Other when it lacks
// XTest.
Result<PreparedXTest> prepareXTestInput(const char* displayName = nullptr);

// The XTest input backend on a readied connection. The sink releases every key and button it
// still holds, and undoes its temporary keymap entries, when it is destroyed; a guardian process
// (velnor-guardian) does the same when the program ends without destroying it. When the guardian is
// missing or cannot act, the sink's problem reporter says so as the first key or button goes down.
//
// Characters the keymap lacks are typed through keycodes bound for the moment; a keycode is bound
// anew only a while after its last use, so that clients read what it stood for. A character that
// has to wait for one, and every injection after it, goes out later from `loop`, which must
// outlive the sink: nothing here sleeps, and a sink destroyed meanwhile drops what still waits.
std::unique_ptr<InputSink> openXTestInput(EventLoop& loop, PreparedXTest connection);

// Both steps at once, on the event loop's thread.
Result<std::unique_ptr<InputSink>> openXTestInput(EventLoop& loop,
                                                  const char* displayName = nullptr);

}  // namespace velnor
