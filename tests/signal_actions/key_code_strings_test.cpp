#include "signal_actions/key_code_strings.h"

#include <gtest/gtest.h>

#include "key_names/key_names.h"
#include "main_window/main_form.h"
#include "platform/widgets.h"
#include "support/recording_input_sink.h"

namespace velnor {
namespace {

class KeyCodeStringTest : public ::testing::Test {
  protected:
    KeyCodeStringTest() : form(input, "") { form.Form_Load(); }

    // Sets the CD line's Generate Keys text, as typing or a command would, and dumps the table.
    QString parse(const QString& text) {
        form.txtCDGenerateKeys->setText(text);
        return form.cdHandler->GenerateKeyCodeString();
    }

    RecordingInputSink input;
    MainForm form;
};

TEST_F(KeyCodeStringTest, TranslatesNamesToCodes) {
    struct Case {
        const char* text;
        const char* dump;
        KeyCodeTable table;
    };
    const Case cases[] = {
        {"vbKeyMenu+vbKeyTab", "18+9+,", {{18, 9}}},
        {"vbKeyShift,vbKeyTab", "16+,9+,", {{16}, {9}}},
        {",vbKeyShift,,vbKeyTab,", "16+,9+,", {{16}, {9}}},
        {"vbKeyMenu+Tab", "18+-1+,", {{18, -1}}},
        {"vbkeymenu", "-1+,", {{-1}}},
        {"vbKeyMenu + vbKeyTab", "-1+-1+,", {{-1, -1}}},
        {"vbKeyF*", "70+,", {{70}}},
        {"vbKey[A", "-1+,", {{-1}}},
        {"vbKeyA++vbKeyB", "65+66+,", {{65, 66}}},
        {"vbKeyA+vbKeyB+vbKeyC+vbKeyD+vbKeyE+vbKeyF+vbKeyG+vbKeyH+vbKeyI",
         "65+66+67+68+69+70+71+72+73+,",
         {{65, 66, 67, 68, 69, 70, 71, 72, 73}}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parse(c.text), c.dump) << c.text;
        EXPECT_EQ(form.cdHandler->generateKeys(), c.table) << c.text;
    }
}

TEST_F(KeyCodeStringTest, TextsWithoutAUsableStepYieldNothing) {
    for (const char* text : {"", ",,,", "vbKeyShift,+,vbKeyTab", "+", "vbKeyA,++"}) {
        parse("vbKeyA");
        EXPECT_EQ(parse(text), "") << text;
        EXPECT_FALSE(form.cdHandler->generateKeys()) << text;
    }
}

TEST_F(KeyCodeStringTest, AFailedLookupIsMinusOneEvenAfterASuccessfulOne) {
    parse("vbKeyTab");
    SelectKeyByName(*form.cboKeyLookup, "vbKeyTab");
    EXPECT_EQ(parse("Tab"), "-1+,");
    EXPECT_EQ(parse("vbKeyTab+Tab"), "9+-1+,");
}

TEST_F(KeyCodeStringTest, EveryKeystrokeIsTranslated) {
    const QString text = "vbKeyMenu+vbKeyTab";
    QStringList dumps;
    for (qsizetype i = 1; i <= text.size(); ++i) dumps.append(parse(text.left(i)));
    EXPECT_EQ(dumps.at(7), "-1+,");      // "vbKeyMen"
    EXPECT_EQ(dumps.at(8), "18+,");      // "vbKeyMenu"
    EXPECT_EQ(dumps.at(9), "18+,");      // "vbKeyMenu+"
    EXPECT_EQ(dumps.at(10), "18+-1+,");  // "vbKeyMenu+v"
    EXPECT_EQ(dumps.last(), "18+9+,");
}

TEST_F(KeyCodeStringTest, LongChordsAndManyStepsKeepEveryName) {
    QStringList names;
    for (int i = 0; i < 12; ++i) names.append(QString("vbKeyF%1").arg(i + 1));
    parse(names.join(u'+'));
    ASSERT_TRUE(form.cdHandler->generateKeys());
    ASSERT_EQ(form.cdHandler->generateKeys()->size(), 1u);
    EXPECT_EQ(form.cdHandler->generateKeys()->front().size(), 12u);
    EXPECT_EQ(form.cdHandler->generateKeys()->front().back(), 123);

    QStringList steps(150, "vbKeyA");
    parse(steps.join(u','));
    ASSERT_TRUE(form.cdHandler->generateKeys());
    EXPECT_EQ(form.cdHandler->generateKeys()->size(), 150u);
}

TEST_F(KeyCodeStringTest, EachLineParsesOnlyItsOwnText) {
    form.txtCTSGenerateKeys->setText("vbKeyA");
    EXPECT_EQ(form.ctsHandler->GenerateKeyCodeString(), "65+,");
    EXPECT_EQ(form.dsrHandler->GenerateKeyCodeString(), "18+9+,");
    EXPECT_EQ(form.cdHandler->GenerateKeyCodeString(), "");
}

TEST_F(KeyCodeStringTest, TheTextBoxNamesWhatCannotActAsWritten) {
    struct Case {
        const char* text;
        const char* problem;
    };
    const Case cases[] = {
        {"vbKeyMenu+vbKeyTab", ""},
        {"", ""},
        {"vbKeyMenu+Tab,Esc", "No key is named \"Tab\", \"Esc\""},
        {"vbKeyShift,+", "A step without a key name: nothing will be played"},
    };
    for (const Case& c : cases) {
        form.txtDSRGenerateKeys->setText(c.text);
        EXPECT_EQ(form.txtDSRGenerateKeys->toolTip(), c.problem) << c.text;
        EXPECT_EQ(form.txtDSRGenerateKeys->styleSheet().isEmpty(), QString(c.problem).isEmpty());
    }
}

TEST_F(KeyCodeStringTest, SendKeysBoxesNameTextsThatCannotBeTyped) {
    form.txtCTSSendKeys->setText("{LEFT");
    EXPECT_FALSE(form.txtCTSSendKeys->toolTip().isEmpty());
    form.txtCTSSendKeys->setText("{LEFT}");
    EXPECT_TRUE(form.txtCTSSendKeys->toolTip().isEmpty());
    EXPECT_TRUE(form.txtCTSSendKeys->styleSheet().isEmpty());
}

TEST_F(KeyCodeStringTest, FeedbackChangesNothingInTheLog) {
    const QString before = form.EventLog->text();
    form.txtDSRGenerateKeys->setText("nonsense");
    form.txtDSRSendKeys->setText("{");
    EXPECT_EQ(form.EventLog->text(), before);
}

}  // namespace
}  // namespace velnor
