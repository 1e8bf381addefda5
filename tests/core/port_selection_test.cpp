// The port buttons, the output-line buttons and the unload, each situation with the log lines it
// writes, what happens to the ports, and the state it leaves; and what a port reports about itself.

#include <gtest/gtest.h>

#include "support/test_form.h"

namespace velnor {
namespace {

using Log = std::vector<std::u16string>;
using Step = std::function<void(test::TestForm&)>;

Step select(OptionButton FormControls::*button) {
    return [button](test::TestForm& window) { window.select(button); };
}
// The open port's device goes away for `reason`, and the loss is delivered.
Step lose(std::u16string reason) {
    return [reason](test::TestForm& window) {
        window.ports.open->listener.gone(reason);
        window.loop.runPosted();
    };
}
Step call(void (MainForm::*operation)()) {
    return [operation](test::TestForm& window) { (window.form.*operation)(); };
}
Step unload() {
    return [](test::TestForm& window) {
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
    std::u16string port;  // the selected buttons
    std::u16string dtrButton;
    std::u16string rtsButton;

    bool operator==(const PortState&) const = default;
    friend void PrintTo(const PortState& state, std::ostream* out) {
        *out << (state.open ? "open" : "closed") << ", CommPort " << state.commPort << ", DTR "
             << state.dtr << ", RTS " << state.rts << ", " << testing::PrintToString(state.port)
             << " " << testing::PrintToString(state.dtrButton) << " "
             << testing::PrintToString(state.rtsButton);
    }
};

PortState stateOf(const test::TestForm& window) {
    const MainForm& form = window.form;
    return {form.MSComm1.PortOpen(),
            form.MSComm1.CommPort(),
            form.MSComm1.DTREnable(),
            form.MSComm1.RTSEnable(),
            test::TestForm::selected(form.Port),
            test::TestForm::selected(form.DTR),
            test::TestForm::selected(form.RTS)};
}

struct Case {
    const char* situation;
    std::vector<Step> before;
    Step action;
    Log log;      // oldest first
    Log journal;  // what the action did to the ports
    PortState after;
};

void check(const Case& c) {
    SCOPED_TRACE(c.situation);
    test::TestForm window;
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
         {u"SetComPort 4"},
         {u"open /dev/ttyS3", u"DTR off", u"RTS off"},
         {true, 4, false, false, u"optCom4", u"optDTROff", u"optRTSOff"}},
        {"Com 1 while port 2 is open",
         {select(&MainForm::optCom2)},
         select(&MainForm::optCom1),
         {u"SetComPort 1"},
         {u"close /dev/ttyS1", u"open /dev/ttyS0", u"DTR off", u"RTS off"},
         {true, 1, false, false, u"optCom1", u"optDTROff", u"optRTSOff"}},
        {"Com 2 while port 1 is open with DTR on",
         {select(&MainForm::optCom1), select(&MainForm::optDTROn)},
         select(&MainForm::optCom2),
         {u"SetComPort 2"},
         {u"close /dev/ttyS0", u"open /dev/ttyS1", u"DTR on", u"RTS off"},
         {true, 2, true, false, u"optCom2", u"optDTROn", u"optRTSOff"}},
        {"None while port 1 is open with DTR and RTS on",
         {select(&MainForm::optCom1), select(&MainForm::optDTROn), select(&MainForm::optRTSOn)},
         select(&MainForm::optComNone),
         {u"SetComPort none", u"optDTROff_Click", u"optRTSOff_Click"},
         {u"DTR off", u"RTS off", u"close /dev/ttyS0"},
         {false, 1, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
        {"None while port 1 is open with DTR on",
         {select(&MainForm::optCom1), select(&MainForm::optDTROn)},
         select(&MainForm::optComNone),
         {u"SetComPort none", u"optDTROff_Click"},
         {u"DTR off", u"close /dev/ttyS0"},
         {false, 1, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
        {"None while port 2 is open with RTS on",
         {select(&MainForm::optCom2), select(&MainForm::optRTSOn)},
         select(&MainForm::optComNone),
         {u"SetComPort none", u"optRTSOff_Click"},
         {u"RTS off", u"close /dev/ttyS1"},
         {false, 2, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
        {"None while port 4 is open with both lines off",
         {select(&MainForm::optCom4)},
         select(&MainForm::optComNone),
         {u"SetComPort none"},
         {u"close /dev/ttyS3"},
         {false, 4, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
        {"None with no port open",
         {},
         call(&MainForm::optComNone_Click),
         {u"SetComPort none"},
         {},
         {false, 1, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
        {"None selected again",
         {},
         select(&MainForm::optComNone),
         {},
         {},
         {false, 1, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
        {"a missing Com 3 while port 2 is open",
         {select(&MainForm::optCom2)},
         select(&MainForm::optCom3),
         {u"SetComPort 3", u"COM3 (/dev/ttyS2) cannot be opened: No such file or directory",
          u"SetComPort none"},
         {u"close /dev/ttyS1"},
         {false, 3, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
        // The "Off" operation writes the setting although no port is open any more, so the
        // next port cannot come up with DTR on under a selected "Off".
        {"a missing Com 3 while port 1 is open with DTR on",
         {select(&MainForm::optCom1), select(&MainForm::optDTROn)},
         select(&MainForm::optCom3),
         {u"SetComPort 3", u"COM3 (/dev/ttyS2) cannot be opened: No such file or directory",
          u"SetComPort none", u"optDTROff_Click"},
         {u"close /dev/ttyS0"},
         {false, 3, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
    };
    for (const Case& c : cases) check(c);
}

TEST(OutputLines, OnAndOffWithAndWithoutAPort) {
    const Case cases[] = {
        {"DTR On, port open",
         {select(&MainForm::optCom1)},
         select(&MainForm::optDTROn),
         {u"optDTROn_Click"},
         {u"DTR on"},
         {true, 1, true, false, u"optCom1", u"optDTROn", u"optRTSOff"}},
        {"DTR On, no port",
         {},
         select(&MainForm::optDTROn),
         {u"optDTROn_Click", u"optDTROff_Click"},
         {},
         {false, 1, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
        {"DTR Off, port open",
         {select(&MainForm::optCom1), select(&MainForm::optDTROn)},
         select(&MainForm::optDTROff),
         {u"optDTROff_Click"},
         {u"DTR off"},
         {true, 1, false, false, u"optCom1", u"optDTROff", u"optRTSOff"}},
        {"DTR Off, no port",
         {},
         call(&MainForm::optDTROff_Click),
         {u"optDTROff_Click"},
         {},
         {false, 1, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
        {"DTR Off, no port, the setting left on",
         {[](test::TestForm& window) { window.form.MSComm1.setDTREnable(true); }},
         call(&MainForm::optDTROff_Click),
         {u"optDTROff_Click"},
         {},
         {false, 1, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
        {"RTS On, port open",
         {select(&MainForm::optCom2)},
         select(&MainForm::optRTSOn),
         {u"optRTSOn_Click"},
         {u"RTS on"},
         {true, 2, false, true, u"optCom2", u"optDTROff", u"optRTSOn"}},
        {"RTS On, no port",
         {},
         select(&MainForm::optRTSOn),
         {u"optRTSOn_Click", u"optRTSOff_Click"},
         {},
         {false, 1, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
        {"RTS Off, port open",
         {select(&MainForm::optCom2), select(&MainForm::optRTSOn)},
         select(&MainForm::optRTSOff),
         {u"optRTSOff_Click"},
         {u"RTS off"},
         {true, 2, false, false, u"optCom2", u"optDTROff", u"optRTSOff"}},
        {"RTS Off, no port, the setting left on",
         {[](test::TestForm& window) { window.form.MSComm1.setRTSEnable(true); }},
         call(&MainForm::optRTSOff_Click),
         {u"optRTSOff_Click"},
         {},
         {false, 1, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
    };
    for (const Case& c : cases) check(c);
}

// Unload calls the three operations directly: the buttons keep showing what they showed.
TEST(Unload, DropsTheLinesThenReleasesThePort) {
    const Case cases[] = {
        {"port 2 open with DTR and RTS on",
         {select(&MainForm::optCom2), select(&MainForm::optDTROn), select(&MainForm::optRTSOn)},
         unload(),
         {u"optDTROff_Click", u"optRTSOff_Click", u"SetComPort none"},
         {u"DTR off", u"RTS off", u"close /dev/ttyS1"},
         {false, 2, false, false, u"optCom2", u"optDTROn", u"optRTSOn"}},
        {"no port open",
         {},
         unload(),
         {u"optDTROff_Click", u"optRTSOff_Click", u"SetComPort none"},
         {},
         {false, 1, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
    };
    for (const Case& c : cases) check(c);
}

// What an open port says about itself reaches the log on the window's thread, with the port's
// number and device.
TEST(PortReports, NoticesAndALostPortAreLogLines) {
    const Case cases[] = {
        {"a notice",
         {select(&MainForm::optCom2)},
         [](test::TestForm& window) {
             window.ports.open->listener.notice(u"the line settings could not be read");
             EXPECT_EQ(window.newLog(), Log{}) << "nothing before the loop runs";
             window.loop.runPosted();
         },
         {u"COM2 (/dev/ttyS1): the line settings could not be read"},
         {},
         {true, 2, false, false, u"optCom2", u"optDTROff", u"optRTSOff"}},
        // While its device is waited for, the port and the outputs stay as chosen.
        {"a port that vanished with DTR on",
         {select(&MainForm::optCom4), select(&MainForm::optDTROn)},
         lose(u"the adapter was unplugged"),
         {u"COM4 (/dev/ttyS3) is gone: the adapter was unplugged; the port is released"},
         {u"close /dev/ttyS3", u"watch /dev/ttyS3"},
         {false, 4, true, false, u"optCom4", u"optDTROn", u"optRTSOff"}},
        {"a lost port whose number was given another device while it was open",
         {select(&MainForm::optCom2),
          [](test::TestForm& window) { window.catalog.assignments[2] = u"/dev/ttyUSB0"; }},
         lose(u"unplugged"),
         {u"COM2 (/dev/ttyS1) is gone: unplugged; the port is released"},
         {u"close /dev/ttyS1", u"watch /dev/ttyS1"},
         {false, 2, false, false, u"optCom2", u"optDTROff", u"optRTSOff"}},
        {"a lost port whose device comes back, with DSR on and DTR on",
         {select(&MainForm::optCom2), select(&MainForm::optDTROn)},
         [](test::TestForm& window) {
             lose(u"unplugged")(window);
             window.ports.levelsAtOpen.dsr = true;
             window.ports.comeBack();
             window.loop.runPosted();
             EXPECT_TRUE(window.form.dsrHandler.flag()) << "followed from its present level";
         },
         {u"COM2 (/dev/ttyS1) is gone: unplugged; the port is released",
          u"COM2 (/dev/ttyS1) is back; the port is opened again"},
         {u"close /dev/ttyS1", u"watch /dev/ttyS1", u"unwatch /dev/ttyS1", u"open /dev/ttyS1",
          u"DTR on", u"RTS off"},
         {true, 2, true, false, u"optCom2", u"optDTROn", u"optRTSOff"}},
        {"a lost port no longer waited for once another is chosen",
         {select(&MainForm::optCom2)},
         [](test::TestForm& window) {
             lose(u"unplugged")(window);
             window.select(&MainForm::optCom1);
             window.ports.comeBack();
             window.loop.runPosted();
         },
         {u"COM2 (/dev/ttyS1) is gone: unplugged; the port is released", u"SetComPort 1"},
         {u"close /dev/ttyS1", u"watch /dev/ttyS1", u"unwatch /dev/ttyS1", u"open /dev/ttyS0",
          u"DTR off", u"RTS off"},
         {true, 1, false, false, u"optCom1", u"optDTROff", u"optRTSOff"}},
        // A backend that cannot wait for the device (Windows, the loopback plug) selects "None".
        {"a port that vanished with DTR on, its device not waited for",
         {select(&MainForm::optCom4), select(&MainForm::optDTROn),
          [](test::TestForm& window) {
              PortBackend backend = window.ports.backend();
              backend.watchReturn = {};
              window.form.MSComm1.setBackend(backend);
          }},
         lose(u"the adapter was unplugged"),
         {u"COM4 (/dev/ttyS3) is gone: the adapter was unplugged; the port is released",
          u"SetComPort none", u"optDTROff_Click"},
         {u"close /dev/ttyS3"},
         {false, 4, false, false, u"optComNone", u"optDTROff", u"optRTSOff"}},
    };
    for (const Case& c : cases) check(c);
}

}  // namespace
}  // namespace velnor
