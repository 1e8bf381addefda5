// The line monitor: the edge rule, the ring indicator and the codes it ignores. The handlers are
// observed through their flags, their indicators and the input they inject (default modes:
// "Emulate a key" with Shift on DSR, Alt on CTS and Control on CD).

#include <gtest/gtest.h>

#include "support/test_form.h"

namespace velnor {
namespace {

using Events = std::vector<std::string>;
using Log = std::vector<std::u16string>;

struct LineCase {
    const char* name;
    int16_t code;
    bool ModemLevels::*level;
    size_t index;  // in MainForm::lines
    int key;
};

const LineCase kLines[] = {
    {"CTS", comEvCTS, &ModemLevels::cts, 1, 18},
    {"DSR", comEvDSR, &ModemLevels::dsr, 0, 16},
    {"CD", comEvCD, &ModemLevels::cd, 2, 17},
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
            test::TestForm window;
            window.select(&MainForm::optCom1);
            window.newLog();
            SignalHandler& handler = window.form.lines[line.index].handler();
            if (row.flagBefore) handler.SignalOn();
            window.input.events.clear();
            test::FakePort& port = *window.ports.open;
            const int readsBefore = port.reads();
            port.queueReads({levelsWith(line, row.first), levelsWith(line, row.second)});

            window.notify(line.code);

            Events expected;
            if (row.signalOn) expected.push_back("key " + std::to_string(line.key) + " down");
            if (row.signalOff) expected.push_back("key " + std::to_string(line.key) + " up");
            EXPECT_EQ(window.input.events, expected);
            EXPECT_EQ(port.reads() - readsBefore, 2) << "each test reads the level afresh";
            EXPECT_EQ(handler.flag(), row.signalOff ? false : row.signalOn || row.flagBefore);
            if (row.signalOn || row.signalOff) {
                EXPECT_EQ(handler.box()->fillColor(), row.signalOff ? kIndicatorOff : kIndicatorOn);
            }
            for (const LineCase& other : kLines) {
                if (other.code == line.code) continue;
                EXPECT_FALSE(window.form.lines[other.index].handler().flag()) << other.name;
                EXPECT_EQ(window.form.lines[other.index].handler().box()->fillColor(),
                          kIndicatorOff);
            }
            EXPECT_EQ(window.newLog(), Log{});
        }
    }
}

// Port 1 open with every input line on, the log read so far.
class AllLinesOn : public ::testing::Test {
  protected:
    AllLinesOn() {
        window.select(&MainForm::optCom1);
        window.ports.open->setLevels({true, true, true, true});
        readsBefore = window.ports.open->reads();  // those of the open, which found every line off
        window.newLog();
    }
    int reads() const { return window.ports.open->reads() - readsBefore; }

    test::TestForm window;
    int readsBefore = 0;
};

TEST_F(AllLinesOn, EachRingNotificationFlipsTheRingIndicator) {
    for (const bool on : {true, false, true}) {
        window.notify(comEvRing);
        EXPECT_EQ(window.form.ringState, on);
        EXPECT_EQ(window.form.boxRI.fillColor(), on ? kIndicatorOn : kIndicatorOff);
        EXPECT_EQ(window.form.RITimeStamp.caption(), on ? u"B 10:15:02" : u"A 10:15:02");
    }
    EXPECT_EQ(reads(), 0) << "a ring reads no level";
    EXPECT_TRUE(window.input.events.empty());
    EXPECT_EQ(window.newLog(), Log{});
}

TEST_F(AllLinesOn, OtherCodesChangeNothing) {
    const std::u16string ringCaption = window.form.RITimeStamp.caption();
    for (const int16_t code : {0, 1, 2, 7, 8, 1001, 1002, 1003, 1004, 1005, 1006, 1007, 1008, 1009,
                               1010, 1011, -1, -32768, 32767})
        window.notify(code);
    EXPECT_EQ(reads(), 0);
    EXPECT_TRUE(window.input.events.empty());
    for (const LineCase& line : kLines)
        EXPECT_FALSE(window.form.lines[line.index].handler().flag());
    EXPECT_FALSE(window.form.ringState);
    EXPECT_EQ(window.form.RITimeStamp.caption(), ringCaption);
    EXPECT_EQ(window.newLog(), Log{});
}

TEST_F(AllLinesOn, ANotificationActsOnlyOnItsOwnLine) {
    window.notify(comEvDSR);
    window.notify(comEvDSR);  // the line stayed on: nothing more
    window.notify(comEvCD);
    EXPECT_EQ(window.input.events, (Events{"key 16 down", "key 17 down"}));
    EXPECT_FALSE(window.form.ctsHandler.flag());
    EXPECT_EQ(window.form.boxCTS.fillColor(), kIndicatorOff);
}

}  // namespace
}  // namespace velnor
