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

TEST_F(LogTest, MessagesAreWrittenUnchanged) {
    form.LogEvent("");
    form.LogEvent("two\nlines\r");
    const QStringList log = lines();
    EXPECT_TRUE(log[0].endsWith("  two"));
    EXPECT_EQ(log[1], "lines\r");
    EXPECT_TRUE(log[2].endsWith("  ")) << log[2].toStdString();
}

TEST_F(LogTest, KeepsTheNewestThousandLines) {
    for (int i = 1; i <= 1500; ++i) form.LogEvent(QString::number(i));
    const QStringList log = lines();
    ASSERT_EQ(log.size(), 1000);
    EXPECT_TRUE(log.front().endsWith("  1500"));
    EXPECT_TRUE(log.back().endsWith("  501"));
    EXPECT_FALSE(form.EventLog->text().contains("EventLog"));
}

TEST(BoundedLog, CountsTheLinesOfMultiLineMessages) {
    BoundedLog log("first", 4);
    log.prepend("a\nb");
    EXPECT_EQ(log.text(), "a\nb\nfirst");
    log.prepend("c\nd");
    EXPECT_EQ(log.text(), "c\nd\na\nb");
    EXPECT_EQ(log.lineCount(), 4);
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
