#pragma once

#include <QCoreApplication>
#include <QEventLoop>
#include <thread>

#include "platform/loopback/loopback_port.h"

namespace velnor::test {

// Flips DSR, CTS and CD of `port` `edges` times in all from another thread, a different line
// each time and each line on its own rhythm, while this thread runs its event loop. Returns once
// every edge is made and every notification queued by then is handled.
inline void floodLines(LoopbackPort& port, int edges) {
    using Line = LoopbackPort::Line;
    QEventLoop loop;
    std::thread flipper([&] {
        const Line lines[] = {Line::Dsr, Line::Cts, Line::Cd};
        bool level[3] = {};
        for (int edge = 0; edge < edges; ++edge) {
            const int line = (edge * 7 / 3) % 3;
            level[line] = !level[line];
            port.setLine(lines[line], level[line]);
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    flipper.join();
    QCoreApplication::processEvents();
}

}  // namespace velnor::test
