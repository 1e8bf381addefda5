#pragma once

#include <QString>
#include <QStringList>

#include "support/line_input_sink.h"
#include "support/qt_print.h"

namespace velnor {

// The lines of the events injected so far, as Qt strings for the window's tests.
class RecordingInputSink : public LineInputSink {
  public:
    QStringList events;

    // Pressed minus released, for one key: 1 while it is held down.
    qsizetype held(int key) const {
        return events.count(QStringLiteral("key %1 down").arg(key)) -
               events.count(QStringLiteral("key %1 up").arg(key));
    }

  protected:
    void record(std::string line) override { events.append(QString::fromStdString(line)); }
};

}  // namespace velnor
