#include "support/qt_events.h"

#include <QCoreApplication>

namespace velnor::test {

void processQtEvents() {
    if (QCoreApplication::instance()) QCoreApplication::processEvents();
}

}  // namespace velnor::test
