#pragma once

#include <QLocale>
#include <QTime>
#include <string>
#include <string_view>

namespace velnor {

// A time of day as the locale writes it with hours, minutes and seconds, without date or zone.
std::u16string timeText(QTime time = QTime::currentTime(),
                        const QLocale& locale = QLocale::system());

// A locale's time format (QLocale's format letters, literal text in single quotes) without its
// time-zone fields ("t"), which a time of day cannot fill in, and without the spaces, commas and
// brackets that set a zone field off, so that nothing of it is left behind: "H:mm:ss (t)" becomes
// "H:mm:ss", "h:mm:ss AP, t" becomes "h:mm:ss AP". A day period written "B", which QLocale cannot
// fill in either, becomes the AM/PM marker "AP". Runs of spaces become one.
std::u16string timeFormatWithoutZone(std::u16string_view format);

}  // namespace velnor
