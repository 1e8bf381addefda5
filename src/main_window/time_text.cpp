#include "main_window/time_text.h"

namespace velnor {
namespace {

// The locale's long time format without its time-zone fields ("t", "tt", ...), which QTime
// cannot fill in; quoted literal text is kept as it stands.
QString formatWithoutZone(const QString& format) {
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'') quoted = !quoted;
        if (quoted || c != u't') result.append(c);
    }
    return result.simplified();
}

}  // namespace

QString timeText(QTime time, const QLocale& locale) {
    return locale.toString(time, formatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
}

}  // namespace velnor
