#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QString>
#include <QThread>
#include <functional>

#include "core/main_form.h"
#include "platform/linux/platform.h"
#include "platform/linux/port_backend.h"
#include "platform/loopback/loopback_port.h"
#include "platform/qt/event_loop.h"

namespace velnor {

struct OwnEventLoop {
    QtEventLoop loop;
};

// A MainForm on this thread's Qt event loop with the program's Linux backends, without a window:
// notifications of its ports are handled as the event loop runs.
class LinuxForm : private OwnEventLoop, public MainForm {
  public:
    LinuxForm(InputSink& input, const QString& commandLine, CommandChannel* channel = nullptr)
        : MainForm(linuxPlatform(input, loop, channel), commandLine.toStdU16String()) {}
};

// A serial control on this thread's Qt event loop with the program's Linux ports.
class LinuxSerialControl : private OwnEventLoop, public SerialControl {
  public:
    LinuxSerialControl() : SerialControl(loop, linuxPortBackend()) {}
};

// The open port of `form` when it is the loopback port, otherwise null.
inline LoopbackPort* loopbackPort(const MainForm& form) {
    return dynamic_cast<LoopbackPort*>(form.MSComm1.port());
}

// Runs the event loop until `done` holds (false if it does not within seconds).
inline bool processEventsUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10'000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return true;
}

}  // namespace velnor
