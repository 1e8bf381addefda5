#include "main_window/event_log.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include "main_window/head_label.h"
#include "main_window/main_form.h"
#include "main_window/time_text.h"
#include "support/recording_input_sink.h"

namespace velnor {
namespace {

class LogTest : public ::testing::Test {
  protected:
    LogTest() : form(input, "") {}
    QStringList lines() const { return form.EventLog->text().split(u'\n'); }
    RecordingInputSink input;
    MainForm form;
};

TEST_F(LogTest, NewestLineFirstWithTimeTwoSpacesAndMessage) {
    form.LogEvent("optDTROn_Click");
    form.LogEvent("optDTROff_Click");
    const QStringList log = lines();
    ASSERT_EQ(log.size(), 3);
    const QRegularExpression line("^(.+)  (.*)$");
    const auto newest = line.match(log[0]);
    ASSERT_TRUE(newest.hasMatch()) << log[0].toStdString();
    EXPECT_EQ(newest.captured(2), "optDTROff_Click");
    EXPECT_EQ(newest.captured(1), timeText());
    EXPECT_TRUE(log[1].endsWith("  optDTROn_Click"));
    EXPECT_EQ(log[2], "EventLog");
    EXPECT_FALSE(form.EventLog->text().contains(u'\r'));
}

// A message cannot forge lines of its own or push the history out: each call is one line, its
// control characters shown as pictures.
TEST_F(LogTest, EachMessageIsOneLineWithItsControlCharactersShown) {
    form.LogEvent("");
    form.LogEvent("two\nlines\r");
    form.LogEvent(QString::fromUtf16(u"\t\x1b[2J\x7f\x85\u2028") + QString(2000, u'\n'));
    const QStringList log = lines();
    ASSERT_EQ(log.size(), 4);
    EXPECT_TRUE(log[0].endsWith(QString::fromUtf16(u"  \u2409\u241b[2J\u2421\ufffd\ufffd") +
                                QString(2000, u'\u240a')));
    EXPECT_TRUE(log[1].endsWith(QString::fromUtf16(u"  two\u240alines\u240d")))
        << log[1].toStdString();
    EXPECT_TRUE(log[2].endsWith("  ")) << log[2].toStdString();
    EXPECT_EQ(log[3], "EventLog");
    EXPECT_EQ(visibleControlCharacters(u"\u00e9\u20ac\U0001F600 ok"), u"\u00e9\u20ac\U0001F600 ok");
}

TEST_F(LogTest, KeepsTheNewestThousandLines) {
    for (int i = 1; i <= 1500; ++i) form.LogEvent(QString::number(i));
    const QStringList log = lines();
    ASSERT_EQ(log.size(), 1000);
    EXPECT_TRUE(log.front().endsWith("  1500"));
    EXPECT_TRUE(log.back().endsWith("  501"));
    EXPECT_FALSE(form.EventLog->text().contains("EventLog"));
}

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
        EXPECT_EQ(timeText(QTime(10, 15, 2), QLocale(c.locale)), c.expected) << c.locale;
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
        EXPECT_EQ(timeText(QTime(8, 22, 13), QLocale(c.locale)), QString::fromUtf8(c.expected))
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
        const QString morning = timeText(QTime(8, 22, 13), locale);
        const QString evening = timeText(QTime(20, 22, 13), locale);
        const std::string name = locale.name().toStdString();
        EXPECT_TRUE(morning.contains(locale.toString(13))) << name << ": " << morning.toStdString();
        EXPECT_NE(morning, evening) << name;
        for (const QString& text : {morning, evening})
            EXPECT_FALSE(text.contains(stray)) << name << ": \"" << text.toStdString() << '"';
    }
}

}  // namespace
}  // namespace velnor

namespace velnor {
namespace {

TEST(HeadLabel, ShowsALongTextExactlyAsALabelWould) {
    QStringList lines;
    for (int i = 0; i < 1000; ++i)
        lines.append(
            QString("12:00:%1  a message long enough to wrap in the label %2").arg(i).arg(i));
    for (const QString& text : {lines.join(u'\n'), QString("EventLog"), QString()}) {
        QLabel plain;
        HeadLabel head;
        for (QLabel* label : {&plain, static_cast<QLabel*>(&head)}) {
            label->setGeometry(0, 0, 281, 385);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            label->setWordWrap(true);
            label->setTextFormat(Qt::PlainText);
            label->setText(text);
        }
        EXPECT_EQ(head.grab().toImage(), plain.grab().toImage()) << text.size();
    }
}

}  // namespace
}  // namespace velnor
