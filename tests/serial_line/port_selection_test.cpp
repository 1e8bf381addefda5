// The port buttons, the output-line buttons and the unload, each situation with the log lines it
// writes, what happens to the ports, and the state it leaves.

#include <gtest/gtest.h>

#include "test_window.h"

namespace velnor {
namespace {

using Step = std::function<void(TestWindow&)>;

Step select(QRadioButton* MainForm::*button) {
    return [button](TestWindow& window) { window.select(button); };
}
Step call(void (MainForm::*operation)()) {
    return [operation](TestWindow& window) { (window.form.*operation)(); };
}
Step unload() {
    return [](TestWindow& window) {
        int cancel = 1;
        window.form.Form_Unload(cancel);
        EXPECT_EQ(cancel, 0);
    };
}

struct PortState {
    bool open;
    int commPort;
    bool dtr;
    bool rts;
    QString port;  // the selected buttons
    QString dtrButton;
    QString rtsButton;

    bool operator==(const PortState&) const = default;
    friend void PrintTo(const PortState& state, std::ostream* out) {
        *out << (state.open ? "open" : "closed") << ", CommPort " << state.commPort << ", DTR "
             << state.dtr << ", RTS " << state.rts << ", " << state.port.toStdString() << " "
             << state.dtrButton.toStdString() << " " << state.rtsButton.toStdString();
    }
};

PortState stateOf(const TestWindow& window) {
    const MainForm& form = window.form;
    return {form.MSComm1.PortOpen(),          form.MSComm1.CommPort(),
            form.MSComm1.DTREnable(),         form.MSComm1.RTSEnable(),
            TestWindow::selected(*form.Port), TestWindow::selected(*form.DTR),
            TestWindow::selected(*form.RTS)};
}

struct Case {
    const char* situation;
    std::vector<Step> before;
    Step action;
    QStringList log;      // oldest first
    QStringList journal;  // what the action did to the ports
    PortState after;
};

void check(const Case& c) {
    SCOPED_TRACE(c.situation);
    TestWindow window;
    for (const Step& step : c.before) step(window);
    window.newLog();
    window.ports.journal.clear();
    c.action(window);
    EXPECT_EQ(window.newLog(), c.log);
    EXPECT_EQ(window.ports.journal, c.journal);
    EXPECT_EQ(stateOf(window), c.after);
}

TEST(PortSelection, Transitions) {
    const Case cases[] = {
        {"Com 4 with no port open",
         {},
         select(&MainForm::optCom4),
         {"SetComPort 4"},
         {"open /dev/ttyS3", "DTR off", "RTS off"},
         {true, 4, false, false, "optCom4", "optDTROff", "optRTSOff"}},
        {"Com 1 while port 2 is open",
         {select(&MainForm::optCom2)},
         select(&MainForm::optCom1),
         {"SetComPort 1"},
         {"close /dev/ttyS1", "open /dev/ttyS0", "DTR off", "RTS off"},
         {true, 1, false, false, "optCom1", "optDTROff", "optRTSOff"}},
        {"Com 2 while port 1 is open with DTR on",
         {select(&MainForm::optCom1), select(&MainForm::optDTROn)},
         select(&MainForm::optCom2),
         {"SetComPort 2"},
         {"close /dev/ttyS0", "open /dev/ttyS1", "DTR on", "RTS off"},
         {true, 2, true, false, "optCom2", "optDTROn", "optRTSOff"}},
        {"None while port 1 is open with DTR and RTS on",
         {select(&MainForm::optCom1), select(&MainForm::optDTROn), select(&MainForm::optRTSOn)},
         select(&MainForm::optComNone),
         {"SetComPort none", "optDTROff_Click", "optRTSOff_Click"},
         {"DTR off", "RTS off", "close /dev/ttyS0"},
         {false, 1, false, false, "optComNone", "optDTROff", "optRTSOff"}},
        {"None while port 1 is open with DTR on",
         {select(&MainForm::optCom1), select(&MainForm::optDTROn)},
         select(&MainForm::optComNone),
         {"SetComPort none", "optDTROff_Click"},
         {"DTR off", "close /dev/ttyS0"},
         {false, 1, false, false, "optComNone", "optDTROff", "optRTSOff"}},
        {"None while port 2 is open with RTS on",
         {select(&MainForm::optCom2), select(&MainForm::optRTSOn)},
         select(&MainForm::optComNone),
         {"SetComPort none", "optRTSOff_Click"},
         {"RTS off", "close /dev/ttyS1"},
         {false, 2, false, false, "optComNone", "optDTROff", "optRTSOff"}},
        {"None while port 4 is open with both lines off",
         {select(&MainForm::optCom4)},
         select(&MainForm::optComNone),
         {"SetComPort none"},
         {"close /dev/ttyS3"},
         {false, 4, false, false, "optComNone", "optDTROff", "optRTSOff"}},
        {"None with no port open",
         {},
         call(&MainForm::optComNone_Click),
         {"SetComPort none"},
         {},
         {false, 1, false, false, "optComNone", "optDTROff", "optRTSOff"}},
        {"a missing Com 3 while port 2 is open",
         {select(&MainForm::optCom2)},
         select(&MainForm::optCom3),
         {"SetComPort 3", "COM3 (/dev/ttyS2) cannot be opened: No such file or directory",
          "SetComPort none"},
         {"close /dev/ttyS1"},
         {false, 3, false, false, "optComNone", "optDTROff", "optRTSOff"}},
        // The "Off" operation writes the setting although no port is open any more, so the
        // next port cannot come up with DTR on under a selected "Off".
        {"a missing Com 3 while port 1 is open with DTR on",
         {select(&MainForm::optCom1), select(&MainForm::optDTROn)},
         select(&MainForm::optCom3),
         {"SetComPort 3", "COM3 (/dev/ttyS2) cannot be opened: No such file or directory",
          "SetComPort none", "optDTROff_Click"},
         {"close /dev/ttyS0"},
         {false, 3, false, false, "optComNone", "optDTROff", "optRTSOff"}},
    };
    for (const Case& c : cases) check(c);
}

TEST(OutputLines, OnAndOffWithAndWithoutAPort) {
    const Case cases[] = {
        {"DTR On, port open",
         {select(&MainForm::optCom1)},
         select(&MainForm::optDTROn),
         {"optDTROn_Click"},
         {"DTR on"},
         {true, 1, true, false, "optCom1", "optDTROn", "optRTSOff"}},
        {"DTR On, no port",
         {},
         select(&MainForm::optDTROn),
         {"optDTROn_Click", "optDTROff_Click"},
         {},
         {false, 1, false, false, "optComNone", "optDTROff", "optRTSOff"}},
        {"DTR Off, port open",
         {select(&MainForm::optCom1), select(&MainForm::optDTROn)},
         select(&MainForm::optDTROff),
         {"optDTROff_Click"},
         {"DTR off"},
         {true, 1, false, false, "optCom1", "optDTROff", "optRTSOff"}},
        {"DTR Off, no port",
         {},
         call(&MainForm::optDTROff_Click),
         {"optDTROff_Click"},
         {},
         {false, 1, false, false, "optComNone", "optDTROff", "optRTSOff"}},
        {"DTR Off, no port, the setting left on",
         {[](TestWindow& window) { window.form.MSComm1.setDTREnable(true); }},
         call(&MainForm::optDTROff_Click),
         {"optDTROff_Click"},
         {},
         {false, 1, false, false, "optComNone", "optDTROff", "optRTSOff"}},
        {"RTS On, port open",
         {select(&MainForm::optCom2)},
         select(&MainForm::optRTSOn),
         {"optRTSOn_Click"},
         {"RTS on"},
         {true, 2, false, true, "optCom2", "optDTROff", "optRTSOn"}},
        {"RTS On, no port",
         {},
         select(&MainForm::optRTSOn),
         {"optRTSOn_Click", "optRTSOff_Click"},
         {},
         {false, 1, false, false, "optComNone", "optDTROff", "optRTSOff"}},
        {"RTS Off, port open",
         {select(&MainForm::optCom2), select(&MainForm::optRTSOn)},
         select(&MainForm::optRTSOff),
         {"optRTSOff_Click"},
         {"RTS off"},
         {true, 2, false, false, "optCom2", "optDTROff", "optRTSOff"}},
        {"RTS Off, no port, the setting left on",
         {[](TestWindow& window) { window.form.MSComm1.setRTSEnable(true); }},
         call(&MainForm::optRTSOff_Click),
         {"optRTSOff_Click"},
         {},
         {false, 1, false, false, "optComNone", "optDTROff", "optRTSOff"}},
    };
    for (const Case& c : cases) check(c);
}

// Unload calls the three operations directly: the buttons keep showing what they showed.
TEST(Unload, DropsTheLinesThenReleasesThePort) {
    const Case cases[] = {
        {"port 2 open with DTR and RTS on",
         {select(&MainForm::optCom2), select(&MainForm::optDTROn), select(&MainForm::optRTSOn)},
         unload(),
         {"optDTROff_Click", "optRTSOff_Click", "SetComPort none"},
         {"DTR off", "RTS off", "close /dev/ttyS1"},
         {false, 2, false, false, "optCom2", "optDTROn", "optRTSOn"}},
        {"no port open",
         {},
         unload(),
         {"optDTROff_Click", "optRTSOff_Click", "SetComPort none"},
         {},
         {false, 1, false, false, "optComNone", "optDTROff", "optRTSOff"}},
        {"the window closed with port 4 open and DTR on",
         {select(&MainForm::optCom4), select(&MainForm::optDTROn)},
         [](TestWindow& window) { window.form.close(); },
         {"optDTROff_Click", "optRTSOff_Click", "SetComPort none"},
         {"DTR off", "RTS off", "close /dev/ttyS3"},
         {false, 4, false, false, "optCom4", "optDTROn", "optRTSOff"}},
    };
    for (const Case& c : cases) check(c);
}

TEST(FormLoad, SelectsNoPortAndPutsTheRingIndicatorOff) {
    TestWindow window;
    EXPECT_TRUE(window.ports.journal.isEmpty());
    EXPECT_FALSE(window.form.MSComm1.PortOpen());
    EXPECT_TRUE(window.form.optComNone->isChecked());
    EXPECT_FALSE(window.form.ringState);
    EXPECT_EQ(window.form.boxRI->fillColor(), kIndicatorOff);
    EXPECT_TRUE(window.form.RITimeStamp->text().startsWith("A "));
}

}  // namespace
}  // namespace velnor
