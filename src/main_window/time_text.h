#pragma once

#include <QLocale>
#include <QString>
#include <QTime>

namespace velnor {

// A time of day as the locale writes it with hours, minutes and seconds, without date or zone.
QString timeText(QTime time = QTime::currentTime(), const QLocale& locale = QLocale::system());

}  // namespace velnor
