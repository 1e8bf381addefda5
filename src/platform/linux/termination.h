#pragma once

class QCoreApplication;

namespace velnor {

// Makes SIGINT, SIGTERM and SIGHUP end the program the way closing its window does: the signal
// handler only writes to a pipe, and QCoreApplication::quit() then runs on the application's
// thread, so the window unloads and the input backend releases whatever it holds. Call once,
// after `app` exists.
void quitOnTerminationSignals(QCoreApplication& app);

}  // namespace velnor
