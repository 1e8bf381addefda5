// Start-up: the defaults each line's controls get and the handler tied to them, and the three ways
// the command channel can answer.

#include <gtest/gtest.h>

#include "support/fake_channel.h"
#include "support/recording_observer.h"
#include "support/test_form.h"

namespace velnor {
namespace {

using Log = std::vector<std::u16string>;
using Claim = CommandChannel::Claim;

TEST(FormLoad, WritesTheDefaultsOfEachLineAndTiesItsHandler) {
    const struct {
        std::u16string line;
        const char16_t* key;
        const char16_t* sendKeys;
        const char16_t* generateKeys;
        const char16_t* dump;
    } lines[] = {
        {u"DSR", u"vbKeyShift", u"%{TAB}", u"vbKeyMenu+vbKeyTab", u"18+9+,"},
        {u"CTS", u"vbKeyMenu (alt)", u"^v", u"", u""},
        {u"CD", u"vbKeyControl", u"^c", u"", u""},
    };
    test::TestForm window;
    MainForm& form = window.form;
    for (size_t i = 0; i < std::size(lines); ++i) {
        const auto& l = lines[i];
        SCOPED_TRACE(testing::PrintToString(l.line));
        const SignalHandler& handler = form.lines[i].handler();
        EXPECT_FALSE(handler.flag());
        EXPECT_TRUE(handler.name().empty());
        EXPECT_EQ(handler.box()->name(), u"box" + l.line);
        EXPECT_EQ(handler.optEmulateKey()->name(), u"opt" + l.line + u"EmulateKey");
        EXPECT_EQ(handler.cboEmulateKey()->name(), u"cbo" + l.line + u"EmulateKey");
        EXPECT_EQ(handler.optSendKeys()->name(), u"opt" + l.line + u"SendKeys");
        EXPECT_EQ(handler.txtSendKeys()->name(), u"txt" + l.line + u"SendKeys");
        EXPECT_EQ(handler.optGenerateKeys()->name(), u"opt" + l.line + u"GenerateKeys");
        EXPECT_EQ(handler.txtGenerateKeys()->name(), u"txt" + l.line + u"GenerateKeys");
        EXPECT_EQ(handler.cboKeyLookup(), &form.cboKeyLookup);
        EXPECT_TRUE(handler.optEmulateKey()->value());
        EXPECT_FALSE(handler.optSendKeys()->value() || handler.optGenerateKeys()->value());
        EXPECT_EQ(handler.cboEmulateKey()->listCount(), 99);
        EXPECT_EQ(handler.cboEmulateKey()->text(), l.key);
        EXPECT_EQ(handler.txtSendKeys()->text(), l.sendKeys);
        EXPECT_EQ(handler.txtSendKeys()->problem(), u"");
        EXPECT_EQ(handler.txtGenerateKeys()->text(), l.generateKeys);
        EXPECT_EQ(handler.GenerateKeyCodeString(), l.dump);
        EXPECT_EQ(handler.box()->fillColor(), kIndicatorOff);
    }
    EXPECT_EQ(form.cboKeyLookup.listCount(), 99);
    EXPECT_EQ(form.cboKeyLookup.listIndex(), -1);
    EXPECT_EQ(form.cboKeyLookup.text(), u"Combo1");
    EXPECT_EQ(form.EventLog.caption(), u"EventLog");
}

TEST(FormLoad, SelectsNoPortAndPutsTheRingIndicatorOff) {
    test::TestForm window;
    EXPECT_EQ(window.ports.journal, Log{});
    EXPECT_FALSE(window.form.MSComm1.PortOpen());
    EXPECT_TRUE(window.form.optComNone.value());
    EXPECT_FALSE(window.form.ringState);
    EXPECT_EQ(window.form.boxRI.fillColor(), kIndicatorOff);
    EXPECT_EQ(window.form.RITimeStamp.caption(), u"A 10:15:02");
    EXPECT_EQ(window.form.window.windowState(), WindowState::Normal);
    EXPECT_FALSE(window.form.handedOver());
}

// The owner of the channel answers its clients through the window's own link handlers.
TEST(CommandChannel, TheOwnerServesLinkCallsThroughTheWindow) {
    test::FakeChannel channel(Claim::Owner);
    test::TestForm window({.commandLine = u"-ctsMode=sendKeys", .channel = &channel});
    MainForm& form = window.form;
    EXPECT_FALSE(form.handedOver());
    EXPECT_EQ(channel.executed, Log{});
    EXPECT_TRUE(form.optCTSSendKeys.value()) << "the command line is applied as without a channel";
    ASSERT_TRUE(channel.served);
    window.newLog();

    int cancel = 7;
    channel.served->linkOpen(cancel);
    EXPECT_EQ(cancel, 0);
    channel.served->linkExecute(u"-dsrMode=generateKeys", cancel);
    EXPECT_EQ(cancel, 0);
    EXPECT_EQ(window.newLog(),
              (Log{u"DDE LinkExecute:  -dsrMode=generateKeys", u"arg(1) = -dsrMode=generateKeys"}));
    EXPECT_TRUE(form.optDSRGenerateKeys.value());
    EXPECT_EQ(channel.served->eventLog(), form.EventLog.caption());

    channel.served->linkExecute(std::u16string(MainForm::kMaxArgumentsLength + 1, u'x'), cancel);
    EXPECT_NE(cancel, 0) << "the client hears that an over-long command was refused";
}

// Scripts hear each line go on and off after its polarity, read the port and the lines, and a
// second start without arguments brings the window forward.
TEST(CommandChannel, ClientsFollowTheLinesAndCanAskForTheWindow) {
    test::FakeChannel channel(Claim::Owner);
    test::TestForm window({.commandLine = u"-cdPolarity=inverted -port=com2", .channel = &channel});
    const CommandChannel::Topic& topic = *channel.served;
    EXPECT_EQ(topic.port(), u"COM2 (/dev/ttyS1)");
    EXPECT_EQ(channel.announced, Log{u"CD on"}) << "inverted: on while the line is off";
    EXPECT_TRUE(topic.lineOn(u"CD"));
    window.ports.open->setLine(&ModemLevels::dsr, comEvDSR, true);
    window.loop.runPosted();
    window.ports.open->setLine(&ModemLevels::ri, comEvRing, true);
    window.loop.runPosted();
    EXPECT_EQ(channel.announced, (Log{u"CD on", u"DSR on", u"RI on"}));
    EXPECT_TRUE(topic.lineOn(u"DSR"));
    EXPECT_FALSE(topic.lineOn(u"CTS"));
    EXPECT_TRUE(topic.lineOn(u"RI"));
    EXPECT_FALSE(topic.lineOn(u"XYZ"));

    window.form.window.setWindowState(WindowState::Minimized);
    test::RecordingObserver observer;
    window.form.setObserver(&observer);
    topic.show();
    EXPECT_EQ(window.form.window.windowState(), WindowState::Normal);
    EXPECT_EQ(observer.changes, (Log{u"MainForm WindowState", u"MainForm Activation"}));
    window.form.setObserver(nullptr);

    window.select(&MainForm::optComNone);
    EXPECT_EQ(topic.port(), u"");
    EXPECT_EQ(channel.announced.back(), u"CD off") << "every line goes off with its port";
}

// A second start hands its command line to the running copy and shows nothing: it unloads at
// once, without loading the lines' defaults.
TEST(CommandChannel, AnotherCopyTakesTheCommandLine) {
    const struct {
        const char* situation;
        std::u16string commandLine;
        Result<> answer;  // of the running copy
        Log executed;
    } cases[] = {
        {"taken", u"-dtr -port=com1", {}, {u"-dtr -port=com1"}},
        {"refused",
         u"-dtr",
         std::unexpected(Problem{ProblemKind::Other, u"the running copy refused it"}),
         {u"-dtr"}},
        {"no command line: the running copy is asked to show itself", u"", {}, {}},
        {"no command line, no answer",
         u"",
         std::unexpected(Problem{ProblemKind::Missing, u"no running copy answers"}),
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.situation);
        test::FakeChannel channel(Claim::AnotherCopyRuns);
        channel.executeAnswer = c.answer;
        test::TestForm window({.commandLine = c.commandLine, .channel = &channel});
        MainForm& form = window.form;
        EXPECT_TRUE(form.handedOver());
        EXPECT_EQ(channel.executed, c.executed);
        EXPECT_EQ(form.handOverResult(), c.answer);
        EXPECT_EQ(channel.showRequests, c.commandLine.empty() ? 1 : 0);
        EXPECT_EQ(window.newLog(),
                  (Log{u"optDTROff_Click", u"optRTSOff_Click", u"SetComPort none"}))
            << "the command line is not applied here";
        EXPECT_EQ(window.ports.journal, Log{});
        EXPECT_EQ(form.cboDSREmulateKey.listCount(), 0);
    }
}

TEST(CommandChannel, AnUnavailableChannelIsALogLineAndTheWindowLoads) {
    test::FakeChannel channel(
        Claim::Unavailable,
        {ProblemKind::Missing, u"No D-Bus session bus: commands cannot reach us"});
    test::TestForm window({.commandLine = u"-cdMode=sendKeys", .channel = &channel});
    EXPECT_FALSE(window.form.handedOver());
    EXPECT_EQ(channel.executed, Log{});
    EXPECT_EQ(window.newLog(), (Log{u"No D-Bus session bus: commands cannot reach us",
                                    u"arg(1) = -cdMode=sendKeys"}));
    EXPECT_TRUE(window.form.optCDSendKeys.value());
    EXPECT_EQ(window.form.cdHandler.txtSendKeys()->text(), u"^c");
}

// An input backend that stops working mid-run: each injection fails while `failing` holds.
class FailingInput final : public InputSink {
  public:
    void key(int, bool) override { report(); }
    void mouseButton(MouseButton, bool) override { report(); }
    void typeCharacter(char32_t) override { report(); }

    bool failing = true;

  private:
    void report() {
        if (failing)
            injectionFailed(u"The X server went away: no input can be injected");
        else
            injectionWorked();
    }
};

TEST(InputProblems, AreOneLogLineUntilInjectionWorksAgain) {
    FailingInput input;
    test::ManualLoop loop;
    test::FakePorts ports;
    {
        MainForm form({.input = input,
                       .loop = loop,
                       .ports = ports.backend(),
                       .channel = nullptr,
                       .timeText = [] { return std::u16string(test::kTimeText); },
                       .messageBox = {}},
                      u"");
        form.Form_Load();
        for (int i = 0; i < 3; ++i) form.dsrHandler.SignalOn();
        input.failing = false;
        form.dsrHandler.SignalOff();
        input.failing = true;
        form.dsrHandler.SignalOn();
        EXPECT_EQ(test::messagesOfLog(form.EventLog.caption()),
                  Log(2, u"The X server went away: no input can be injected"));
    }
    // The window is gone: a new failure has nobody to tell, and nothing breaks.
    input.failing = false;
    input.key(16, false);
    input.failing = true;
    input.key(16, false);
}

// A port opened before the handlers exist finds nobody to act for its lines: nothing happens,
// and nothing breaks.
TEST(FormLoad, APortOpenedBeforeLoadingActsForNoLine) {
    test::TestForm window({.commandLine = u"", .channel = nullptr, .load = false});
    window.ports.levelsAtOpen = {.cts = true, .dsr = true, .cd = true, .ri = false};
    window.select(&MainForm::optCom1);
    EXPECT_TRUE(window.form.MSComm1.PortOpen());
    window.ports.open->setLine(&ModemLevels::dsr, comEvDSR, false);
    window.loop.runPosted();
    EXPECT_TRUE(window.input.events.empty());
}

}  // namespace
}  // namespace velnor
