// The time of day as the locale writes it, for the event log and the ring time stamp.
#include "platform/qt/time_text.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include "support/qt_print.h"

namespace velnor {
namespace {

struct TimeCase {
    const char* locale;
    const char* expected;
};

TEST(TimeText, HasHoursMinutesAndSecondsWithoutDateOrZone) {
    const TimeCase cases[] = {
        {"en_US", "10:15:02 AM"},
        {"de_DE", "10:15:02"},
        {"en_GB", "10:15:02"},
        {"C", "10:15:02"},
    };
    for (const TimeCase& c : cases)
        EXPECT_EQ(QString::fromStdU16String(timeText(QTime(10, 15, 2), QLocale(c.locale))),
                  c.expected)
            << c.locale;
}

// Locales whose zone field sits in brackets, after a comma or before the time, and the one whose
// day period QLocale cannot write.
TEST(TimeText, LeavesNothingOfTheZoneBehind) {
    const TimeCase cases[] = {
        {"es_ES", "8:22:13"},
        {"fa_IR", "\u06f8:\u06f2\u06f2:\u06f1\u06f3"},
        {"sq_AL", "8:22:13 E PARADITES"},
        {"be_BY", "08:22:13"},
        {"zh_TW", "\u4e0a\u53488:22:13"},
        {"zh_HK", "\u4e0a\u53488:22:13"},
        {"nds_DE", "Klock 8.22:13"},
        {"ru_RU", "08:22:13"},
    };
    for (const TimeCase& c : cases)
        EXPECT_EQ(QString::fromStdU16String(timeText(QTime(8, 22, 13), QLocale(c.locale))),
                  QString::fromUtf8(c.expected))
            << c.locale;
}

TEST(TimeText, FormatWithoutZone) {
    const struct {
        std::u16string_view format;
        std::u16string_view expected;
    } cases[] = {
        {u"HH:mm:ss (t)", u"HH:mm:ss"},       {u"t APh:mm:ss", u"APh:mm:ss"},
        {u"H:mm:ss 'ч'. t", u"H:mm:ss 'ч'."}, {u"'t' HH:mm:ss  t", u"'t' HH:mm:ss"},
        {u"HH:mm [t] ss", u"HH:mm ss"},       {u"Bh:mm:ss [t]", u"APh:mm:ss"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(timeFormatWithoutZone(c.format), c.expected)
            << QString::fromStdU16String(std::u16string(c.format)).toStdString();
}

// Every locale Qt knows: the seconds are there, morning and evening differ, and no bracket,
// comma or space is left over where the zone was.
TEST(TimeText, EveryLocaleWritesAPlainTime) {
    const QRegularExpression stray(
        QStringLiteral("[(\\[\uff08]\\s*[)\\]\uff09]|^[\\s,\u060c]|[\\s,\u060c]$|\\s\\s"));
    const QList<QLocale> locales =
        QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory);
    ASSERT_GT(locales.size(), 100);
    for (const QLocale& locale : locales) {
        const QString morning = QString::fromStdU16String(timeText(QTime(8, 22, 13), locale));
        const QString evening = QString::fromStdU16String(timeText(QTime(20, 22, 13), locale));
        const std::string name = locale.name().toStdString();
        EXPECT_TRUE(morning.contains(locale.toString(13))) << name << ": " << morning.toStdString();
        EXPECT_NE(morning, evening) << name;
        for (const QString& text : {morning, evening})
            EXPECT_FALSE(text.contains(stray)) << name << ": \"" << text.toStdString() << '"';
    }
}

}  // namespace
}  // namespace velnor
