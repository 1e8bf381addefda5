// The Generate Keys and SendKeys boxes of the window: each change parses the line's text through
// the hidden key list, and the box shows what cannot act as written.
#include <gtest/gtest.h>

#include "key_names/key_names.h"
#include "main_window/main_form.h"
#include "signal_actions/signal_handler.h"
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
        {"vbKeyMenu+Tab,Esc", "No key is named \"Tab\", \"Esc\""},
        {"vbKeyMenu+vbKeyTab", ""},
        {"vbKeyShift,+", "A step without a key name: nothing will be played"},
        {"", ""},
    };
    for (const Case& c : cases) {
        form.txtDSRGenerateKeys->setText(c.text);
        EXPECT_EQ(form.txtDSRGenerateKeys->toolTip(), c.problem) << c.text;
        EXPECT_EQ(form.txtDSRGenerateKeys->styleSheet().isEmpty(), QString(c.problem).isEmpty());
    }
}

TEST_F(KeyCodeStringTest, AnOutlineShownAndClearedLeavesTheBoxsFontAsItWas) {
    form.show();
    const QFont before = form.txtDSRGenerateKeys->font();
    form.txtDSRGenerateKeys->setText("Tab");
    EXPECT_EQ(form.txtDSRGenerateKeys->font().toString(), before.toString());
    form.txtDSRGenerateKeys->setText("vbKeyTab");
    form.txtDSRSendKeys->setText("{");
    form.txtDSRSendKeys->setText("a");
    EXPECT_EQ(form.txtDSRGenerateKeys->font().toString(), before.toString());
    EXPECT_EQ(form.txtDSRSendKeys->font().toString(), before.toString());
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
