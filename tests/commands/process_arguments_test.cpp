#include <gtest/gtest.h>

#include "main_window/main_form.h"
#include "serial_line/line_filter.h"
#include "signal_actions/signal_handler.h"
#include "support/log_lines.h"
#include "support/recording_input_sink.h"
#include "support/scoped_env.h"

namespace velnor {
namespace {

class ArgumentsTest : public ::testing::Test {
  protected:
    ArgumentsTest() : form(input, "") { form.Form_Load(); }

    // Applies `arguments` and returns the log lines they left, oldest first.
    QStringList apply(const QString& arguments) {
        const qsizetype before = logMessages(form).size();
        form.ProcessArguments(arguments);
        return logMessages(form).mid(before);
    }
    bool checked(const char* button) { return form.findChild<QRadioButton*>(button)->isChecked(); }

    RecordingInputSink input;
    MainForm form;
};

TEST_F(ArgumentsTest, EmptyOrBlankStringsDoNothing) {
    for (const char* arguments : {"", " ", "     "}) EXPECT_EQ(apply(arguments), QStringList());
}

TEST_F(ArgumentsTest, ArgumentsAreCutAtSpacesOnlyAndNumberedFromOne) {
    EXPECT_EQ(apply("  -dtr   -minimize "), (QStringList{"arg(1) = -dtr", "optDTROn_Click",
                                                         "optDTROff_Click", "arg(2) = -minimize"}));
    // A tab is an ordinary character of an argument; the log shows it as its picture.
    EXPECT_EQ(apply("-dtr\t-rts"),
              (QStringList{QString::fromUtf16(u"arg(1) = -dtr\u2409-rts"),
                           QString::fromUtf16(u"Unknown argument:  -dtr\u2409-rts")}));
    EXPECT_EQ(apply("\"-dtr\""), (QStringList{"arg(1) = \"-dtr\"", "Unknown argument:  \"-dtr\""}));
}

TEST_F(ArgumentsTest, PortRowSelectsTheButtonOrIgnoresTheValue) {
    EXPECT_EQ(apply("-port=COM2"), QStringList{"arg(1) = -port=COM2"});
    EXPECT_EQ(apply("-port=com5"), QStringList{"arg(1) = -port=com5"});
    EXPECT_EQ(apply("-port="), QStringList{"arg(1) = -port="});
    EXPECT_TRUE(checked("optComNone"));
    EXPECT_EQ(apply("-Port=com2"),
              (QStringList{"arg(1) = -Port=com2", "Unknown argument:  -Port=com2"}));
}

TEST_F(ArgumentsTest, ExactOptionsMustMatchWhole) {
    for (const char* argument : {"-dtr=1", "-minimized", "-RTS", "-dt"}) {
        EXPECT_EQ(apply(argument), (QStringList{QString("arg(1) = ") + argument,
                                                QString("Unknown argument:  ") + argument}));
    }
}

TEST_F(ArgumentsTest, MinimizeMinimizesTheWindow) {
    apply("-minimize");
    EXPECT_TRUE(form.windowState() & Qt::WindowMinimized);
}

TEST_F(ArgumentsTest, ModeRowsSelectTheModeOrComplain) {
    struct Case {
        const char* argument;
        const char* selected;  // nullptr: a complaint instead
        const char* complaint;
    };
    const Case cases[] = {
        {"-dsrMode=sendKeys", "optDSRSendKeys", nullptr},
        {"-dsrMode=generateKeys", "optDSRGenerateKeys", nullptr},
        {"-dsrMode=emulateKey", "optDSREmulateKey", nullptr},
        {"-ctsMode=generateKeys", "optCTSGenerateKeys", nullptr},
        {"-cdMode=sendKeys", "optCDSendKeys", nullptr},
        {"-dsrMode=SendKeys", nullptr, "Unknown DSR mode:  SendKeys"},
        {"-ctsMode=x", nullptr, "Unknown CTS mode:  x"},
        {"-cdMode=", nullptr, "Unknown CD mode:  "},
        {"-cdMode==sendKeys", nullptr, "Unknown CD mode:  =sendKeys"},
    };
    for (const Case& c : cases) {
        QStringList expected{QString("arg(1) = ") + c.argument};
        if (c.complaint) expected.append(c.complaint);
        EXPECT_EQ(apply(c.argument), expected) << c.argument;
        if (c.selected) {
            EXPECT_TRUE(checked(c.selected)) << c.argument;
        }
    }
}

TEST_F(ArgumentsTest, EmulateKeyRowChoosesTheKeyOfTheNamedLine) {
    apply("-dsrEmulateKey=vbKeyA -ctsEmulateKey=vbKeyF1? -cdEmulateKey=vbKeyShift");
    EXPECT_EQ(form.cboDSREmulateKey->currentText(), "vbKeyA");
    EXPECT_EQ(form.cboCTSEmulateKey->currentText(), "vbKeyF10");
    EXPECT_EQ(form.cboCDEmulateKey->currentText(), "vbKeyShift");
    // The value starts at a fixed position, so text between the code and the option name shifts it.
    EXPECT_EQ(apply("-dsrXEmulateKey=vbKeyShift"),
              QStringList{"arg(1) = -dsrXEmulateKey=vbKeyShift"});
    EXPECT_EQ(form.cboDSREmulateKey->currentText(), "vbKeyA");
    // A name that matches nothing is left to the key list, which keeps its selection.
    EXPECT_EQ(apply("-cdEmulateKey=nothing"), QStringList{"arg(1) = -cdEmulateKey=nothing"});
    EXPECT_EQ(form.cboCDEmulateKey->currentText(), "vbKeyShift");
}

TEST_F(ArgumentsTest, UnknownSignalCodesAreNamed) {
    struct Case {
        const char* argument;
        const char* code;
    };
    for (const Case& c : {Case{"-rtsEmulateKey=vbKeyA", "rts"}, Case{"-EmulateKey=vbKeyA", "Emu"},
                          Case{"-cdXSendKeys=x", "cdX"}, Case{"-cdESendKeys=x", "cdE"},
                          Case{"-dcdGenerateKeys=vbKeyA", "dcd"}, Case{"-DSRSendKeys=a", "DSR"}}) {
        EXPECT_EQ(apply(c.argument), (QStringList{QString("arg(1) = ") + c.argument,
                                                  QString("Unknown signal name:  ") + c.code}))
            << c.argument;
    }
}

TEST_F(ArgumentsTest, SendKeysRowSetsTheLinesText) {
    apply("-dsrSendKeys=%{TAB} -ctsSendKeys= -cdSendKeys=^{F4}");
    EXPECT_EQ(form.txtDSRSendKeys->text(), "%{TAB}");
    EXPECT_EQ(form.txtCTSSendKeys->text(), "");
    EXPECT_EQ(form.txtCDSendKeys->text(), "^{F4}");
    EXPECT_EQ(apply("-dsrSendKeys=a b"),
              (QStringList{"arg(1) = -dsrSendKeys=a", "arg(2) = b", "Unknown argument:  b"}));
    EXPECT_EQ(form.txtDSRSendKeys->text(), "a");
}

TEST_F(ArgumentsTest, GenerateKeysRowSetsAndParsesTheLinesText) {
    apply("-ctsGenerateKeys=vbKeyControl+vbKeyC -cdGenerateKeys=vbKeyA,vbKeyB");
    EXPECT_EQ(form.txtCTSGenerateKeys->text(), "vbKeyControl+vbKeyC");
    EXPECT_EQ(form.ctsHandler->GenerateKeyCodeString(), "17+67+,");
    EXPECT_EQ(form.cdHandler->GenerateKeyCodeString(), "65+,66+,");
    apply("-dsrGenerateKeys=");
    EXPECT_EQ(form.dsrHandler->GenerateKeyCodeString(), "");
}

TEST_F(ArgumentsTest, LaterArgumentsOverrideEarlierOnesAndEveryArgumentRuns) {
    const QStringList log = apply("-bogus -dsrMode=sendKeys -dsrMode=generateKeys -x");
    EXPECT_EQ(log, (QStringList{"arg(1) = -bogus", "Unknown argument:  -bogus",
                                "arg(2) = -dsrMode=sendKeys", "arg(3) = -dsrMode=generateKeys",
                                "arg(4) = -x", "Unknown argument:  -x"}));
    EXPECT_TRUE(checked("optDSRGenerateKeys"));
}

TEST_F(ArgumentsTest, ManyArgumentsAreAllApplied) {
    QStringList arguments;
    for (int i = 0; i < 150; ++i)
        arguments.append(i % 2 ? "-cdMode=sendKeys" : "-cdMode=emulateKey");
    const QStringList log = apply(arguments.join(u' '));
    ASSERT_EQ(log.size(), 150);
    EXPECT_EQ(log.last(), "arg(150) = -cdMode=sendKeys");
    EXPECT_TRUE(checked("optCDSendKeys"));
}

TEST_F(ArgumentsTest, OverlongStringsAreRefusedWithOneLine) {
    const QString tooLong = "-dtr " + QString(MainForm::kMaxArgumentsLength, u'x');
    const QStringList log = apply(tooLong);
    ASSERT_EQ(log.size(), 1);
    EXPECT_TRUE(log.first().startsWith("Arguments of 32771 characters not applied"));
    EXPECT_EQ(apply(QString(MainForm::kMaxArgumentsLength - 1, u'y')).size(), 2);
}

TEST_F(ArgumentsTest, ArgumentsKeepPercentSignsAndControlCharacters) {
    const QString odd = QString("-%1%2\x01") + QChar(0xFFFD) + QChar(0xD83D) + QChar(0xDE00);
    const QString shown =
        QString("-%1%2") + QChar(0x2401) + QChar(0xFFFD) + QChar(0xD83D) + QChar(0xDE00);
    EXPECT_EQ(apply(odd), (QStringList{"arg(1) = " + shown, "Unknown argument:  " + shown}));
}

// Settle time and polarity of a line, and the Off buttons of the output lines, come after every
// row of the controls and before "Unknown argument".
TEST_F(ArgumentsTest, LineSettingsAndOffRowsSetOrComplain) {
    const struct {
        const char* argument;
        const char* complaint;  // nullptr: none
    } cases[] = {
        {"-dsrDebounce=30", nullptr},
        {"-ctsDebounce=1000", nullptr},
        {"-cdDebounce=0007", nullptr},
        {"-cdDebounce=1001", "Unknown CD debounce:  1001"},
        {"-dsrDebounce=abc", "Unknown DSR debounce:  abc"},
        {"-dsrDebounce=+5", "Unknown DSR debounce:  +5"},
        {"-dsrDebounce=99999", "Unknown DSR debounce:  99999"},
        {"-ctsDebounce=", "Unknown CTS debounce:  "},
        {"-dsrPolarity=inverted", nullptr},
        {"-ctsPolarity=inverted", nullptr},
        {"-ctsPolarity=normal", nullptr},
        {"-cdPolarity=Inverted", "Unknown CD polarity:  Inverted"},
        {"-DSRDebounce=5", "Unknown argument:  -DSRDebounce=5"},
        {"-rtsPolarity=inverted", "Unknown argument:  -rtsPolarity=inverted"},
        {"-dtrOff=1", "Unknown argument:  -dtrOff=1"},
        // An earlier row that matches decides: this sets CD's SendKeys text.
        {"-cdSendKeys=-cdDebounce=5", nullptr},
    };
    for (const auto& c : cases) {
        QStringList expected{QString("arg(1) = ") + c.argument};
        if (c.complaint) expected.append(c.complaint);
        EXPECT_EQ(apply(c.argument), expected);
    }
    EXPECT_EQ(form.dsrFilter->settleTime().count(), 30);
    EXPECT_EQ(form.ctsFilter->settleTime().count(), 1000);
    EXPECT_EQ(form.cdFilter->settleTime().count(), 7);
    EXPECT_TRUE(form.dsrFilter->inverted());
    EXPECT_FALSE(form.ctsFilter->inverted());
    EXPECT_FALSE(form.cdFilter->inverted());
    EXPECT_EQ(form.txtCDSendKeys->text(), "-cdDebounce=5");
    EXPECT_EQ(form.frameDSR->toolTip(),
              "DSR: settle time 30 ms, inverted polarity. Right-click to change.");

    const ScopedEnv com1("VELNOR_COM1", "loopback");
    apply("-port=com1 -dtr -rts");
    EXPECT_EQ(apply("-dtrOff -rtsOff"), (QStringList{"arg(1) = -dtrOff", "optDTROff_Click",
                                                     "arg(2) = -rtsOff", "optRTSOff_Click"}));
    EXPECT_FALSE(form.MSComm1.DTREnable() || form.MSComm1.RTSEnable());
    EXPECT_TRUE(checked("optDTROff") && checked("optRTSOff"));
}

class LinkTest : public ArgumentsTest {};

TEST_F(LinkTest, ExecuteLogsTheCommandThenAppliesIt) {
    const qsizetype before = logMessages(form).size();
    int cancel = 7;
    form.Form_LinkExecute("-ctsMode=sendKeys -nonsense", cancel);
    EXPECT_EQ(cancel, 0);
    EXPECT_EQ(
        logMessages(form).mid(before),
        (QStringList{"DDE LinkExecute:  -ctsMode=sendKeys -nonsense", "arg(1) = -ctsMode=sendKeys",
                     "arg(2) = -nonsense", "Unknown argument:  -nonsense"}));
    EXPECT_TRUE(checked("optCTSSendKeys"));
}

TEST_F(LinkTest, EmptyCommandsAreLoggedAndAccepted) {
    int cancel = 7;
    form.Form_LinkExecute("  ", cancel);
    EXPECT_EQ(cancel, 0);
    EXPECT_EQ(logMessages(form).last(), "DDE LinkExecute:    ");
}

TEST_F(LinkTest, OverlongCommandsAreRefused) {
    int cancel = 0;
    form.Form_LinkExecute(QString(MainForm::kMaxArgumentsLength + 1, u'-'), cancel);
    EXPECT_NE(cancel, 0);
    EXPECT_TRUE(logMessages(form).last().startsWith("Arguments of 32767 characters not applied"));
}

TEST_F(LinkTest, EveryConversationIsAccepted) {
    int cancel = 7;
    form.Form_LinkOpen(cancel);
    EXPECT_EQ(cancel, 0);
}

TEST(CommandLine, IsAppliedLastOverTheDefaults) {
    RecordingInputSink input;
    MainForm form(input, "-dsrMode=sendKeys -cdSendKeys=xyz");
    form.Form_Load();
    EXPECT_TRUE(form.optDSRSendKeys->isChecked());
    EXPECT_EQ(form.txtCDSendKeys->text(), "xyz");
    EXPECT_EQ(form.txtDSRSendKeys->text(), "%{TAB}");
    EXPECT_EQ(logMessages(form),
              (QStringList{"arg(1) = -dsrMode=sendKeys", "arg(2) = -cdSendKeys=xyz"}));
}

}  // namespace
}  // namespace velnor
