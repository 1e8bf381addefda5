#pragma once

#include <QDBusConnection>
#include <QStringList>
#include <memory>

#include "core/input_sink.h"
#include "core/problem.h"

namespace velnor {

// Opens input through the desktop's RemoteDesktop portal (org.freedesktop.portal.Desktop on
// `bus`), for Wayland desks where /dev/uinput is closed to the user. The desktop asks the user in a
// dialog whether Velnor may send input: at every start on version 1 of the interface; on version 2
// once, its answer then kept as a token in ~/.config/velnor/portal-restore-token. The sink asks as
// it opens and the session starts later, from the Qt event loop: nothing here waits for the dialog.
//
// Until the session has started, and once the desktop has closed it, key and mouse events are
// dropped and the log says so once; the sink's menu then offers to ask again, which happens only
// when the user chooses it. Keys and characters go as X keysyms, which the compositor types on the
// user's own layout; buttons as Linux button codes. The sink lets go of what it holds and closes
// the session when it is destroyed; should the program end without that, the portal closes the
// session as the program leaves the bus.
//
// Fails with Missing where the desktop offers no such portal (the reason says what is absent), and
// with Other where the portal does not answer. What the log should hear of the dialog goes to
// `told`.
Result<std::unique_ptr<InputSink>> openPortalInput(const QDBusConnection& bus, QStringList& told);

}  // namespace velnor
