// The event log: its lines as the form writes them, and the label that shows them.
#include <gtest/gtest.h>

#include <QGroupBox>
#include <QLabel>
#include <QRegularExpression>
#include <QTest>

#include "platform/qt/text.h"
#include "platform/qt/time_text.h"
#include "support/linux_form.h"
#include "support/paint_counter.h"
#include "support/recording_input_sink.h"
#include "view/qt/form_view.h"
#include "view/qt/log_label.h"

namespace velnor {
namespace {

class LogTest : public ::testing::Test {
  protected:
    LogTest() : form(input, "") {}
    QString text() const { return toQString(form.EventLog.caption()); }
    QStringList lines() const { return text().split(u'\n'); }
    RecordingInputSink input;
    LinuxForm form;
};

TEST_F(LogTest, NewestLineFirstWithTimeTwoSpacesAndMessage) {
    form.LogEvent(u"optDTROn_Click");
    form.LogEvent(u"optDTROff_Click");
    const QStringList log = lines();
    ASSERT_EQ(log.size(), 3);
    const QRegularExpression line("^(.+)  (.*)$");
    const auto newest = line.match(log[0]);
    ASSERT_TRUE(newest.hasMatch()) << log[0].toStdString();
    EXPECT_EQ(newest.captured(2), "optDTROff_Click");
    EXPECT_EQ(newest.captured(1), toQString(timeText()));
    EXPECT_TRUE(log[1].endsWith("  optDTROn_Click"));
    EXPECT_EQ(log[2], "EventLog");
    EXPECT_FALSE(text().contains(u'\r'));
}

// A message cannot forge lines of its own or push the history out: each call is one line, its
// control characters shown as pictures.
TEST_F(LogTest, EachMessageIsOneLineWithItsControlCharactersShown) {
    form.LogEvent(u"");
    form.LogEvent(u"two\nlines\r");
    form.LogEvent(u"\t\x1b[2J\x7f\x85\u2028" + std::u16string(2000, u'\n'));
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
    for (int i = 1; i <= 1500; ++i) form.LogEvent(QString::number(i).toStdU16String());
    const QStringList log = lines();
    ASSERT_EQ(log.size(), 1000);
    EXPECT_TRUE(log.front().endsWith("  1500"));
    EXPECT_TRUE(log.back().endsWith("  501"));
    EXPECT_FALSE(text().contains("EventLog"));
}

TEST(LogLabel, ShowsALongTextExactlyAsALabelWould) {
    QStringList lines;
    for (int i = 0; i < 1000; ++i)
        lines.append(
            QString("12:00:%1  a message long enough to wrap in the label %2").arg(i).arg(i));
    for (const QString& text : {lines.join(u'\n'), QString("EventLog"), QString()}) {
        QLabel plain;
        plain.setGeometry(0, 0, 281, 385);
        plain.setAlignment(Qt::AlignLeft | Qt::AlignTop);
        plain.setWordWrap(true);
        plain.setTextFormat(Qt::PlainText);
        plain.setText(text);
        LogLabel head;
        head.setGeometry(0, 0, 281, 385);
        head.setText(text);
        EXPECT_EQ(head.grab().toImage(), plain.grab().toImage()) << text.size();
    }
}

// The layouts kept from one paint to the next follow new lines, a new width and a new font.
TEST(LogLabel, StaysExactlyAsALabelWouldAsLinesComeAndItsWidthAndFontChange) {
    QLabel plain;
    plain.setAlignment(Qt::AlignLeft | Qt::AlignTop);
    plain.setWordWrap(true);
    plain.setTextFormat(Qt::PlainText);
    LogLabel head;
    QString text;
    const auto same = [&](const QString& step) {
        plain.setText(text);
        head.setText(text);
        EXPECT_EQ(head.grab().toImage(), plain.grab().toImage()) << step.toStdString();
    };
    for (QWidget* label : {static_cast<QWidget*>(&plain), static_cast<QWidget*>(&head)})
        label->setGeometry(0, 0, 281, 200);
    for (int i = 0; i < 30; ++i) {
        text.prepend(QString("12:00:%1  line %1 of a log that wraps now and then%2\n")
                         .arg(i)
                         .arg(i % 3 == 0 ? " in the label's width" : ""));
        same(QString("line %1").arg(i));
    }
    for (QWidget* label : {static_cast<QWidget*>(&plain), static_cast<QWidget*>(&head)})
        label->setGeometry(0, 0, 150, 200);
    same("narrower");
    QFont larger = head.font();
    larger.setPointSizeF(larger.pointSizeF() * 1.5);
    plain.setFont(larger);
    head.setFont(larger);
    same("larger font");
}

// A new line repaints the log's label and nothing around it: the frame, with its title and its
// border, stays as it was.
TEST(LogLabel, ANewLineRepaintsTheLabelAloneNotItsFrame) {
    RecordingInputSink input;
    LinuxForm form(input, "");
    QtFormView view(form);
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
    QWidget* label = view.widgetOf(form.EventLog);
    test::PaintCounter labelPaints(*label);
    test::PaintCounter framePaints(*view.widgetOf(form.Frame1));
    test::PaintCounter formPaints(view);
    for (int i = 0; i < 5; ++i) {
        form.LogEvent(u"optDTROn_Click");
        QTest::qWait(20);
    }
    EXPECT_GE(labelPaints.paints, 1);
    EXPECT_EQ(framePaints.paints, 0);
    EXPECT_EQ(formPaints.paints, 0);
    EXPECT_EQ(label->geometry(), QRect(240 / 15, 360 / 15, 4215 / 15, 5775 / 15));
}

}  // namespace
}  // namespace velnor
