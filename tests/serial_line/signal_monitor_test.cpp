// The line monitor: the edge rule, the ring indicator and the codes it ignores. The handlers are
// observed through their flags, their indicators and the input they inject (default modes:
// "Emulate a key" with Shift on DSR, Alt on CTS and Control on CD).

#include <gtest/gtest.h>

#include "main_window/time_text.h"
#include "signal_actions/signal_handler.h"
#include "test_window.h"

namespace velnor {
namespace {

struct LineCase {
    const char* name;
    qint16 code;
    bool ModemLevels::*level;
    std::unique_ptr<SignalHandler> MainForm::*handler;
    int key;
};

const LineCase kLines[] = {
    {"CTS", comEvCTS, &ModemLevels::cts, &MainForm::ctsHandler, 18},
    {"DSR", comEvDSR, &ModemLevels::dsr, &MainForm::dsrHandler, 16},
    {"CD", comEvCD, &ModemLevels::cd, &MainForm::cdHandler, 17},
};

// Every line on, except `line` at `on`: the other lines are on, and still untouched.
ModemLevels levelsWith(const LineCase& line, bool on) {
    ModemLevels levels{true, true, true, true};
    levels.*line.level = on;
    return levels;
}

TEST(SignalMonitor, EdgeRule) {
    const struct {
        bool first;       // level at the first read
        bool flagBefore;  // the handler's flag
        bool second;      // level at the second read
        bool signalOn;
        bool signalOff;
    } rows[] = {
        {true, false, true, true, false},  {true, false, false, true, true},
        {false, true, false, false, true}, {true, true, false, false, true},
        {true, true, true, false, false},  {false, false, false, false, false},
    };
    for (const LineCase& line : kLines) {
        for (const auto& row : rows) {
            SCOPED_TRACE(testing::Message() << line.name << ": " << row.first << " "
                                            << row.flagBefore << " " << row.second);
            TestWindow window;
            window.select(&MainForm::optCom1);
            window.newLog();
            SignalHandler& handler = *(window.form.*line.handler);
            if (row.flagBefore) handler.SignalOn();
            window.input.events.clear();
            ScriptedPort& port = *window.ports.open;
            port.reads = 0;
            port.queued = {levelsWith(line, row.first), levelsWith(line, row.second)};

            window.notify(line.code);

            QStringList expected;
            if (row.signalOn) expected.append(QStringLiteral("key %1 down").arg(line.key));
            if (row.signalOff) expected.append(QStringLiteral("key %1 up").arg(line.key));
            EXPECT_EQ(window.input.events, expected);
            EXPECT_EQ(port.reads, 2) << "each test reads the level afresh";
            EXPECT_EQ(handler.flag(), row.signalOff ? false : row.signalOn || row.flagBefore);
            if (row.signalOn || row.signalOff) {
                EXPECT_EQ(handler.box()->fillColor(), row.signalOff ? kIndicatorOff : kIndicatorOn);
            }
            for (const LineCase& other : kLines) {
                if (other.code == line.code) continue;
                EXPECT_FALSE((window.form.*other.handler)->flag()) << other.name;
                EXPECT_EQ((window.form.*other.handler)->box()->fillColor(), kIndicatorOff);
            }
            EXPECT_EQ(window.newLog(), QStringList{});
        }
    }
}

// Port 1 open with every input line on, the log read so far.
class AllLinesOn : public ::testing::Test {
  protected:
    AllLinesOn() {
        window.select(&MainForm::optCom1);
        window.ports.open->steady = {true, true, true, true};
        window.ports.open->reads = 0;  // those of the open, which found every line off
        window.newLog();
    }

    TestWindow window;
};

TEST_F(AllLinesOn, EachRingNotificationFlipsTheRingIndicator) {
    for (const bool on : {true, false, true}) {
        const QString before = timeText();
        window.notify(comEvRing);
        const QString after = timeText();
        const QString letter = on ? "B " : "A ";
        EXPECT_EQ(window.form.ringState, on);
        EXPECT_EQ(window.form.boxRI->fillColor(), on ? kIndicatorOn : kIndicatorOff);
        const QString caption = window.form.RITimeStamp->text();
        EXPECT_TRUE(caption == letter + before || caption == letter + after)
            << caption.toStdString();
    }
    EXPECT_EQ(window.ports.open->reads, 0) << "a ring reads no level";
    EXPECT_TRUE(window.input.events.isEmpty());
    EXPECT_EQ(window.newLog(), QStringList{});
}

TEST_F(AllLinesOn, OtherCodesChangeNothing) {
    const QString ringCaption = window.form.RITimeStamp->text();
    for (const qint16 code : {0, 1, 2, 7, 8, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009,
                              1010, 1011, -1, -32768, 32767})
        window.notify(code);
    EXPECT_EQ(window.ports.open->reads, 0);
    EXPECT_TRUE(window.input.events.isEmpty());
    for (const LineCase& line : kLines) EXPECT_FALSE((window.form.*line.handler)->flag());
    EXPECT_FALSE(window.form.ringState);
    EXPECT_EQ(window.form.RITimeStamp->text(), ringCaption);
    EXPECT_EQ(window.newLog(), QStringList{});
}

TEST_F(AllLinesOn, ANotificationActsOnlyOnItsOwnLine) {
    window.notify(comEvDSR);
    window.notify(comEvDSR);  // the line stayed on: nothing more
    window.notify(comEvCD);
    EXPECT_EQ(window.input.events, (QStringList{"key 16 down", "key 17 down"}));
    EXPECT_FALSE(window.form.ctsHandler->flag());
    EXPECT_EQ(window.form.boxCTS->fillColor(), kIndicatorOff);
}

}  // namespace
}  // namespace velnor
