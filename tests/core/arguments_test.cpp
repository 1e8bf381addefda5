// The argument language, as the command line and the command channel apply it: each argument
// with the log lines it leaves and the controls it sets.

#include <gtest/gtest.h>

#include "support/argument_spellings.h"
#include "support/test_form.h"

namespace velnor {
namespace {

using Log = std::vector<std::u16string>;

class ArgumentsTest : public ::testing::Test {
  protected:
    // Applies `arguments` and returns the log lines they left, oldest first.
    Log apply(std::u16string_view arguments) {
        window.newLog();
        form.ProcessArguments(arguments);
        return window.newLog();
    }
    Log logged() { return window.newLog(); }
    // The log of one argument applied alone: its own line, then the complaint if there is one.
    static Log loggedFor(const std::u16string& argument, const char16_t* complaint) {
        Log log{u"arg(1) = " + argument};
        if (complaint) log.push_back(complaint);
        return log;
    }

    test::TestForm window;
    MainForm& form = window.form;
};

TEST_F(ArgumentsTest, EmptyOrBlankStringsDoNothing) {
    for (const char16_t* arguments : {u"", u" ", u"     "}) EXPECT_EQ(apply(arguments), Log());
}

TEST_F(ArgumentsTest, ArgumentsAreCutAtSpacesOnlyAndNumberedFromOne) {
    EXPECT_EQ(apply(u"  -dtr   -minimize "), (Log{u"arg(1) = -dtr", u"optDTROn_Click",
                                                  u"optDTROff_Click", u"arg(2) = -minimize"}));
    // A tab is an ordinary character of an argument; the log shows it as its picture.
    EXPECT_EQ(apply(u"-dtr\t-rts"),
              (Log{u"arg(1) = -dtr\u2409-rts", u"Unknown argument:  -dtr\u2409-rts"}));
    EXPECT_EQ(apply(u"\"-dtr\""), (Log{u"arg(1) = \"-dtr\"", u"Unknown argument:  \"-dtr\""}));
}

TEST_F(ArgumentsTest, PortRowSelectsTheButtonOrIgnoresTheValue) {
    EXPECT_EQ(apply(u"-port=COM2"), Log{u"arg(1) = -port=COM2"});
    EXPECT_EQ(apply(u"-port=com5"), Log{u"arg(1) = -port=com5"});
    EXPECT_EQ(apply(u"-port="), Log{u"arg(1) = -port="});
    EXPECT_TRUE(form.optComNone.value());
    EXPECT_EQ(apply(u"-Port=com2"),
              (Log{u"arg(1) = -Port=com2", u"Unknown argument:  -Port=com2"}));
    // A port chosen by argument has been opened before the next argument is looked at.
    EXPECT_EQ(apply(u"-port=com2 -dtr"),
              (Log{u"arg(1) = -port=com2", u"SetComPort 2", u"arg(2) = -dtr", u"optDTROn_Click"}));
    EXPECT_TRUE(form.optCom2.value() && form.optDTROn.value() && form.MSComm1.DTREnable());
}

TEST_F(ArgumentsTest, ExactOptionsMustMatchWhole) {
    for (const std::u16string argument :
         {u"-dtr=1", u"-minimized", u"-RTS", u"-dt", u"-minimizeToTray=1"})
        EXPECT_EQ(apply(argument),
                  (Log{u"arg(1) = " + argument, u"Unknown argument:  " + argument}));
}

TEST_F(ArgumentsTest, MinimizeMinimizesTheWindow) {
    EXPECT_EQ(form.window.windowState(), WindowState::Normal);
    apply(u"-minimize");
    EXPECT_EQ(form.window.windowState(), WindowState::Minimized);
}

TEST_F(ArgumentsTest, ModeRowsSelectTheModeOrComplain) {
    const struct {
        std::u16string argument;
        OptionButton FormControls::*selected;  // null: a complaint instead
        const char16_t* complaint;
    } cases[] = {
        {u"-dsrMode=sendKeys", &FormControls::optDSRSendKeys, nullptr},
        {u"-dsrMode=generateKeys", &FormControls::optDSRGenerateKeys, nullptr},
        {u"-dsrMode=emulateKey", &FormControls::optDSREmulateKey, nullptr},
        {u"-ctsMode=generateKeys", &FormControls::optCTSGenerateKeys, nullptr},
        {u"-cdMode=sendKeys", &FormControls::optCDSendKeys, nullptr},
        {u"-dsrMode=SendKeys", nullptr, u"Unknown DSR mode:  SendKeys"},
        {u"-ctsMode=x", nullptr, u"Unknown CTS mode:  x"},
        {u"-cdMode=", nullptr, u"Unknown CD mode:  "},
        {u"-cdMode==sendKeys", nullptr, u"Unknown CD mode:  =sendKeys"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(apply(c.argument), loggedFor(c.argument, c.complaint));
        if (c.selected) {
            EXPECT_TRUE((form.*c.selected).value()) << testing::PrintToString(c.argument);
        }
    }
}

TEST_F(ArgumentsTest, EmulateKeyRowChoosesTheKeyOfTheNamedLine) {
    apply(u"-dsrEmulateKey=vbKeyA -ctsEmulateKey=vbKeyF1? -cdEmulateKey=vbKeyShift");
    EXPECT_EQ(form.cboDSREmulateKey.text(), u"vbKeyA");
    EXPECT_EQ(form.cboCTSEmulateKey.text(), u"vbKeyF10");
    EXPECT_EQ(form.cboCDEmulateKey.text(), u"vbKeyShift");
    // The value starts at a fixed position, so text between the code and the option name shifts it.
    EXPECT_EQ(apply(u"-dsrXEmulateKey=vbKeyShift"), Log{u"arg(1) = -dsrXEmulateKey=vbKeyShift"});
    EXPECT_EQ(form.cboDSREmulateKey.text(), u"vbKeyA");
    // A name that matches nothing is left to the key list, which keeps its selection.
    EXPECT_EQ(apply(u"-cdEmulateKey=nothing"), Log{u"arg(1) = -cdEmulateKey=nothing"});
    EXPECT_EQ(form.cboCDEmulateKey.text(), u"vbKeyShift");
    EXPECT_EQ(form.cboCDEmulateKey.itemData(form.cboCDEmulateKey.listIndex()), 16);
}

TEST_F(ArgumentsTest, UnknownSignalCodesAreNamed) {
    const struct {
        std::u16string argument;
        std::u16string code;
    } cases[] = {{u"-rtsEmulateKey=vbKeyA", u"rts"},   {u"-EmulateKey=vbKeyA", u"Emu"},
                 {u"-cdXSendKeys=x", u"cdX"},          {u"-cdESendKeys=x", u"cdE"},
                 {u"-dcdGenerateKeys=vbKeyA", u"dcd"}, {u"-DSRSendKeys=a", u"DSR"}};
    for (const auto& c : cases)
        EXPECT_EQ(apply(c.argument),
                  (Log{u"arg(1) = " + c.argument, u"Unknown signal name:  " + c.code}));
}

TEST_F(ArgumentsTest, SendKeysRowSetsTheLinesText) {
    apply(u"-dsrSendKeys=%{TAB} -ctsSendKeys= -cdSendKeys=^{F4}");
    EXPECT_EQ(form.txtDSRSendKeys.text(), u"%{TAB}");
    EXPECT_EQ(form.txtCTSSendKeys.text(), u"");
    EXPECT_EQ(form.txtCDSendKeys.text(), u"^{F4}");
    EXPECT_EQ(apply(u"-dsrSendKeys=a b"),
              (Log{u"arg(1) = -dsrSendKeys=a", u"arg(2) = b", u"Unknown argument:  b"}));
    EXPECT_EQ(form.txtDSRSendKeys.text(), u"a");
}

TEST_F(ArgumentsTest, GenerateKeysRowSetsAndParsesTheLinesText) {
    apply(u"-ctsGenerateKeys=vbKeyControl+vbKeyC -cdGenerateKeys=vbKeyA,vbKeyB");
    EXPECT_EQ(form.txtCTSGenerateKeys.text(), u"vbKeyControl+vbKeyC");
    EXPECT_EQ(form.ctsHandler.GenerateKeyCodeString(), u"17+67+,");
    EXPECT_EQ(form.cdHandler.GenerateKeyCodeString(), u"65+,66+,");
    apply(u"-dsrGenerateKeys=");
    EXPECT_EQ(form.dsrHandler.GenerateKeyCodeString(), u"");
}

TEST_F(ArgumentsTest, LaterArgumentsOverrideEarlierOnesAndEveryArgumentRuns) {
    EXPECT_EQ(apply(u"-bogus -dsrMode=sendKeys -dsrMode=generateKeys -x"),
              (Log{u"arg(1) = -bogus", u"Unknown argument:  -bogus", u"arg(2) = -dsrMode=sendKeys",
                   u"arg(3) = -dsrMode=generateKeys", u"arg(4) = -x", u"Unknown argument:  -x"}));
    EXPECT_TRUE(form.optDSRGenerateKeys.value());
    EXPECT_FALSE(form.optDSRSendKeys.value());
}

TEST_F(ArgumentsTest, ManyArgumentsAreAllApplied) {
    std::u16string arguments;
    for (int i = 0; i < 150; ++i)
        arguments += i % 2 ? u"-cdMode=sendKeys " : u"-cdMode=emulateKey ";
    const Log log = apply(arguments);
    ASSERT_EQ(log.size(), 150u);
    EXPECT_EQ(log.back(), u"arg(150) = -cdMode=sendKeys");
    EXPECT_TRUE(form.optCDSendKeys.value());
}

TEST_F(ArgumentsTest, OverlongStringsAreRefusedWithOneLine) {
    const Log log = apply(u"-dtr " + std::u16string(MainForm::kMaxArgumentsLength, u'x'));
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log.front(),
              u"Arguments of 32771 characters not applied: at most 32766 are accepted");
    EXPECT_FALSE(form.optDTROn.value());
    EXPECT_EQ(apply(std::u16string(MainForm::kMaxArgumentsLength - 1, u'y')).size(), 2u);
}

TEST_F(ArgumentsTest, ArgumentsKeepPercentSignsAndControlCharacters) {
    const std::u16string shown = u"-%1%2\u2401\ufffd\U0001F600";
    EXPECT_EQ(apply(u"-%1%2\x01\ufffd\U0001F600"),
              (Log{u"arg(1) = " + shown, u"Unknown argument:  " + shown}));
}

// Settle time and polarity of a line, and the Off buttons of the output lines, come after every
// row of the controls and before "Unknown argument".
TEST_F(ArgumentsTest, LineSettingsAndOffRowsSetOrComplain) {
    const struct {
        std::u16string argument;
        const char16_t* complaint;  // null: none
    } cases[] = {
        {u"-dsrDebounce=30", nullptr},
        {u"-ctsDebounce=1000", nullptr},
        {u"-cdDebounce=0007", nullptr},
        {u"-cdDebounce=1001", u"Unknown CD debounce:  1001"},
        {u"-dsrDebounce=abc", u"Unknown DSR debounce:  abc"},
        {u"-dsrDebounce=+5", u"Unknown DSR debounce:  +5"},
        {u"-dsrDebounce=99999", u"Unknown DSR debounce:  99999"},
        {u"-dsrDebounce=123456789012x", u"Unknown DSR debounce:  123456789012x"},
        {u"-ctsDebounce=", u"Unknown CTS debounce:  "},
        {u"-dsrPolarity=inverted", nullptr},
        {u"-ctsPolarity=inverted", nullptr},
        {u"-ctsPolarity=normal", nullptr},
        {u"-cdPolarity=Inverted", u"Unknown CD polarity:  Inverted"},
        {u"-DSRDebounce=5", u"Unknown argument:  -DSRDebounce=5"},
        {u"-rtsPolarity=inverted", u"Unknown argument:  -rtsPolarity=inverted"},
        {u"-dtrOff=1", u"Unknown argument:  -dtrOff=1"},
        // An earlier row that matches decides: this sets CD's SendKeys text.
        {u"-cdSendKeys=-cdDebounce=5", nullptr},
        {u"-ctsRepeat=soon", u"Unknown CTS repeat:  soon"},
        {u"-ctsRepeat=500,0", u"Unknown CTS repeat:  500,0"},
        {u"-ctsRepeat=500,60001", u"Unknown CTS repeat:  500,60001"},
        {u"-dsrLongPress=600", u"Unknown DSR long press:  600"},
        {u"-dsrLongPress=0,x", u"Unknown DSR long press:  0,x"},
        {u"-dsrLongPress=600,{BOGUS}", u"Unknown DSR long press:  600,{BOGUS}"},
        {u"-cdRelease={ENTER", u"Unknown CD release text:  {ENTER"},
        {u"-cdRelease%=50%", u"Unknown CD release text:  50%"},
        {u"-cdLatch=yes", u"Unknown CD latch:  yes"},
        {u"-cdOtherKey=F25", u"Unknown CD other key:  F25"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(apply(c.argument), loggedFor(c.argument, c.complaint));
    }
    EXPECT_EQ(form.lines[0].filter().settleTime().count(), 30);
    EXPECT_EQ(form.lines[1].filter().settleTime().count(), 1000);
    EXPECT_EQ(form.lines[2].filter().settleTime().count(), 7);
    EXPECT_TRUE(form.lines[0].filter().inverted());
    EXPECT_FALSE(form.lines[1].filter().inverted());
    EXPECT_FALSE(form.lines[2].filter().inverted());
    EXPECT_EQ(form.txtCDSendKeys.text(), u"-cdDebounce=5");

    apply(u"-port=com1 -dtr -rts");
    EXPECT_EQ(apply(u"-dtrOff -rtsOff"), (Log{u"arg(1) = -dtrOff", u"optDTROff_Click",
                                              u"arg(2) = -rtsOff", u"optRTSOff_Click"}));
    EXPECT_FALSE(form.MSComm1.DTREnable() || form.MSComm1.RTSEnable());
    EXPECT_TRUE(form.optDTROff.value() && form.optRTSOff.value());
}

// Each frame's hint tells its line's settle time and polarity as they now are.
TEST_F(ArgumentsTest, LineSettingsShowInTheFramesHint) {
    const auto hints = [this] {
        return std::vector<std::u16string>{form.frameDSR.toolTip(), form.frameCTS.toolTip(),
                                           form.frameCD.toolTip()};
    };
    EXPECT_EQ(hints(), (std::vector<std::u16string>{
                           u"DSR: every edge acts, normal polarity. Right-click to change.",
                           u"CTS: every edge acts, normal polarity. Right-click to change.",
                           u"CD: every edge acts, normal polarity. Right-click to change."}));
    apply(u"-dsrDebounce=30 -dsrPolarity=inverted -ctsPolarity=inverted -cdDebounce=5");
    EXPECT_EQ(hints(), (std::vector<std::u16string>{
                           u"DSR: settle time 30 ms, inverted polarity. Right-click to change.",
                           u"CTS: every edge acts, inverted polarity. Right-click to change.",
                           u"CD: settle time 5 ms, normal polarity. Right-click to change."}));
    apply(u"-dsrDebounce=0 -dsrPolarity=normal -cdDebounce=x");
    EXPECT_EQ(hints()[0], u"DSR: every edge acts, normal polarity. Right-click to change.");
    apply(
        u"-ctsRepeat=500,100 -ctsRelease=x -ctsLongPress=600,{ESC} -ctsLatch=on "
        u"-ctsOtherKey=F20");
    EXPECT_EQ(hints()[1],
              u"CTS: every edge acts, inverted polarity. Holds F20. Each press holds or "
              u"releases the key. Repeats after 500 ms, every 100 ms. A press of 600 ms "
              u"or more types \"{ESC}\". On release types \"x\". Right-click to "
              u"change.");
    EXPECT_EQ(hints()[2], u"CD: settle time 5 ms, normal polarity. Right-click to change.");
}

class LinkTest : public ArgumentsTest {};

TEST_F(LinkTest, ExecuteLogsTheCommandThenAppliesIt) {
    logged();
    int cancel = 7;
    form.Form_LinkExecute(u"-ctsMode=sendKeys -nonsense", cancel);
    EXPECT_EQ(cancel, 0);
    EXPECT_EQ(logged(),
              (Log{u"DDE LinkExecute:  -ctsMode=sendKeys -nonsense", u"arg(1) = -ctsMode=sendKeys",
                   u"arg(2) = -nonsense", u"Unknown argument:  -nonsense"}));
    EXPECT_TRUE(form.optCTSSendKeys.value());
}

TEST_F(LinkTest, EmptyCommandsAreLoggedAndAccepted) {
    logged();
    int cancel = 7;
    form.Form_LinkExecute(u"  ", cancel);
    EXPECT_EQ(cancel, 0);
    EXPECT_EQ(logged(), Log{u"DDE LinkExecute:    "});
}

TEST_F(LinkTest, OverlongCommandsAreRefused) {
    logged();
    int cancel = 0;
    form.Form_LinkExecute(std::u16string(MainForm::kMaxArgumentsLength + 1, u'-'), cancel);
    EXPECT_NE(cancel, 0);
    EXPECT_EQ(logged(),
              Log{u"Arguments of 32767 characters not applied: at most 32766 are accepted"});
}

TEST_F(LinkTest, EveryConversationIsAccepted) {
    int cancel = 7;
    form.Form_LinkOpen(cancel);
    EXPECT_EQ(cancel, 0);
}

TEST_F(ArgumentsTest, PercentEncodedTextRowsCarrySpacesOrComplain) {
    EXPECT_EQ(apply(u"-dsrSendKeys%=Hello%20World~ -cdGenerateKeys%=vbKeyA%2C%20vbKeyB"),
              (Log{u"arg(1) = -dsrSendKeys%=Hello%20World~",
                   u"arg(2) = -cdGenerateKeys%=vbKeyA%2C%20vbKeyB"}));
    EXPECT_EQ(form.txtDSRSendKeys.text(), u"Hello World~");
    EXPECT_EQ(form.txtCDGenerateKeys.text(), u"vbKeyA, vbKeyB");
    EXPECT_EQ(apply(u"-ctsSendKeys%=50%"),
              (Log{u"arg(1) = -ctsSendKeys%=50%", u"Unknown CTS SendKeys text:  50%"}));
    EXPECT_EQ(form.txtCTSSendKeys.text(), u"^v") << "a broken text leaves the box as it was";
}

// The command line of the present configuration brings a fresh copy to the same configuration,
// texts with spaces, equals signs and percent signs included.
TEST(CommandLine, OfThePresentConfigurationReproducesIt) {
    test::TestForm window({.commandLine = u"-port=com2 -dtr -rts -dsrMode=sendKeys "
                                          u"-dsrSendKeys%=a%20b%3Dc%25 -ctsMode=generateKeys "
                                          u"-ctsGenerateKeys=vbKeyF1,vbKeyF2 -cdEmulateKey=vbKeyA "
                                          u"-cdDebounce=30 -ctsPolarity=inverted"});
    const MainForm& form = window.form;
    const std::u16string line = form.commandLine();
    EXPECT_EQ(line,
              u"-port=com2 -dtr -rts -dsrMode=sendKeys -dsrEmulateKey=vbKeyShift "
              u"-dsrGenerateKeys=vbKeyMenu+vbKeyTab -dsrSendKeys%=a%20b%3Dc%25 "
              u"-ctsMode=generateKeys -ctsEmulateKey=vbKeyMenu -ctsSendKeys=^v "
              u"-ctsGenerateKeys=vbKeyF1,vbKeyF2 -ctsPolarity=inverted -cdMode=emulateKey "
              u"-cdEmulateKey=vbKeyA -cdSendKeys=^c -cdGenerateKeys= -cdDebounce=30");
    test::TestForm again({.commandLine = line});
    EXPECT_EQ(again.form.commandLine(), line);
    EXPECT_EQ(again.form.txtDSRSendKeys.text(), u"a b=c%");
    EXPECT_TRUE(again.form.optDTROn.value());
    EXPECT_EQ(again.form.lines[2].filter().settleTime().count(), 30);
    EXPECT_TRUE(again.form.lines[1].filter().inverted());
}

// Every option of the table survives parse, write and parse: the command line of a form that an
// argument changed carries the change, and brings a fresh form to the same command line.
TEST(CommandLine, EveryOptionSurvivesWritingAndParsingAgain) {
    const struct {
        std::u16string_view option;
        std::u16string_view before;  // what the option changes
        std::u16string_view value;
    } examples[] = {
        {u"-port=", u"", u"com4"},
        {u"-dtr", u"-port=com1", u""},
        {u"-rts", u"-port=com1", u""},
        {u"Mode=", u"", u"generateKeys"},
        {u"EmulateKey=", u"", u"vbKeyF5"},
        {u"SendKeys=", u"", u"{F2}"},
        {u"GenerateKeys=", u"", u"vbKeyA,vbKeyB"},
        {u"-minimize", u"", u""},
        {u"-dtrOff", u"-port=com1 -dtr", u""},
        {u"-rtsOff", u"-port=com1 -rts", u""},
        {u"Debounce=", u"", u"30"},
        {u"Polarity=", u"", u"inverted"},
        {u"SendKeys%=", u"", u"a%20b%3D"},
        {u"GenerateKeys%=", u"", u"vbKeyA,%20vbKeyB"},
        {u"Repeat=", u"", u"500,100"},
        {u"Release=", u"", u"%{TAB}"},
        {u"Release%=", u"", u"a%20b"},
        {u"LongPress=", u"", u"600,{ESC}"},
        {u"LongPress%=", u"", u"600,%25{F4}%20x"},
        {u"Latch=", u"", u"on"},
        {u"OtherKey=", u"", u"volume_up"},
        {u"-minimizeToTray", u"", u""},
    };
    for (const ArgumentOption& option : argumentOptions()) {
        const auto example =
            std::ranges::find(examples, option.option, [](const auto& e) { return e.option; });
        ASSERT_NE(example, std::end(examples)) << "no example of an option";
        std::vector<std::u16string> arguments;
        for (const InputLine& line : inputLines())
            arguments.push_back(option.perLine ? u"-" + std::u16string(line.code) +
                                                     std::u16string(option.option)
                                               : std::u16string(option.option));
        if (!option.perLine) arguments.resize(1);
        for (const std::u16string& argument : arguments) {
            SCOPED_TRACE(testing::PrintToString(argument));
            test::TestForm window({.commandLine = std::u16string(example->before)});
            const std::u16string before = window.form.commandLine();
            window.newLog();
            window.form.ProcessArguments(argument + std::u16string(example->value));
            for (const std::u16string& line : window.newLog())
                EXPECT_FALSE(line.starts_with(u"Unknown")) << testing::PrintToString(line);
            const std::u16string written = window.form.commandLine();
            EXPECT_NE(written, before) << "the change is written";
            test::TestForm again({.commandLine = written});
            EXPECT_EQ(again.form.commandLine(), written);
        }
    }
}

TEST(CommandLine, HelpNamesEveryOptionOnceAndOnlyALoneHelpOrVersionIsAnswered) {
    const std::u16string help = helpText(u"Environment: none\n");
    for (const std::u16string& spelling : test::argumentSpellings())
        EXPECT_EQ(test::occurrences(help, spelling), 1) << testing::PrintToString(spelling);
    EXPECT_TRUE(help.ends_with(u"\n\nEnvironment: none\n"));

    const struct {
        std::u16string_view commandLine;
        StartRequest request;
    } cases[] = {
        {u"--help", StartRequest::Help},
        {u" --version  ", StartRequest::Version},
        {u"", StartRequest::Run},
        {u"-port=com1 --version", StartRequest::Run},
        {u"--help --version", StartRequest::Run},
        {u"--Help", StartRequest::Run},
    };
    for (const auto& c : cases)
        EXPECT_EQ(startRequest(c.commandLine), c.request)
            << testing::PrintToString(std::u16string(c.commandLine));
}

TEST(CommandLine, IsAppliedLastOverTheDefaults) {
    test::TestForm window({.commandLine = u"-dsrMode=sendKeys -cdSendKeys=xyz"});
    EXPECT_TRUE(window.form.optDSRSendKeys.value());
    EXPECT_EQ(window.form.txtCDSendKeys.text(), u"xyz");
    EXPECT_EQ(window.form.txtDSRSendKeys.text(), u"%{TAB}");
    EXPECT_EQ(window.newLog(), (Log{u"arg(1) = -dsrMode=sendKeys", u"arg(2) = -cdSendKeys=xyz"}));
}

}  // namespace
}  // namespace velnor
