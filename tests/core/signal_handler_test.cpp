// The action of one line: its indicator and flag, and what it injects in each mode, read from the
// line's controls at the moment it acts.

#include "core/signal_handler.h"

#include <gtest/gtest.h>

#include <functional>

#include "core/key_names.h"
#include "core/send_keys.h"
#include "support/test_form.h"

namespace velnor {
namespace {

using Events = std::vector<std::string>;

void expectOn(const SignalHandler& handler) {
    EXPECT_TRUE(handler.flag());
    EXPECT_EQ(handler.box()->fillColor(), kIndicatorOn);
}

void expectOff(const SignalHandler& handler) {
    EXPECT_FALSE(handler.flag());
    EXPECT_EQ(handler.box()->fillColor(), kIndicatorOff);
}

class HandlerTest : public ::testing::Test {
  protected:
    SignalHandler& dsr() { return form.dsrHandler; }
    Events& events() { return window.input.events; }

    test::TestForm window;
    MainForm& form = window.form;
};

// Emulate a key ---------------------------------------------------------------------------------

TEST_F(HandlerTest, EmulatedKeyIsHeldWhileTheLineIsOn) {
    dsr().SignalOn();
    EXPECT_EQ(events(), Events{"key 16 down"});
    expectOn(dsr());
    dsr().SignalOff();
    EXPECT_EQ(events(), (Events{"key 16 down", "key 16 up"}));
    expectOff(dsr());
}

TEST_F(HandlerTest, MouseButtonCodesPressAndReleaseButtons) {
    const struct {
        const char16_t* name;
        Events events;
    } cases[] = {
        {u"vbKeyLButton", {"mouse left down", "mouse left up"}},
        {u"vbKeyRButton", {"mouse right down", "mouse right up"}},
        {u"vbKeyMButton", {"mouse middle down", "mouse middle up"}},
        {u"vbKeyCancel", {"key 3 down", "key 3 up"}},
    };
    for (const auto& c : cases) {
        events().clear();
        SelectKeyByName(form.cboDSREmulateKey, c.name);
        dsr().SignalOn();
        dsr().SignalOff();
        EXPECT_EQ(events(), c.events) << testing::PrintToString(std::u16string(c.name));
    }
}

// Going off releases the key that coming on pressed, whatever the mode and the selection are by
// then, and nothing when coming on pressed nothing.
TEST(Handler, GoingOffReleasesExactlyTheKeyPressed) {
    const struct {
        const char* situation;
        std::function<void(MainForm&)> before;   // before the line comes on
        std::function<void(MainForm&)> whileOn;  // while it is on
        Events events;
    } cases[] = {
        {"the selection changed to Alt",
         {},
         [](MainForm& form) { SelectKeyByName(form.cboDSREmulateKey, u"vbKeyMenu"); },
         {"key 16 down", "key 16 up"}},
        {"the mode changed to SendKeys",
         {},
         [](MainForm& form) { form.optDSRSendKeys.setValue(true); },
         {"key 16 down", "key 16 up"}},
        {"the mode changed to Emulate a key after an empty SendKeys text",
         [](MainForm& form) {
             form.optDSRSendKeys.setValue(true);
             form.txtDSRSendKeys.setText(u"");
         },
         [](MainForm& form) { form.optDSREmulateKey.setValue(true); },
         {}},
        {"an entry selected after none was",
         [](MainForm& form) { form.cboDSREmulateKey.setListIndex(-1); },
         [](MainForm& form) { SelectKeyByName(form.cboDSREmulateKey, u"vbKeyA"); },
         {}},
        {"the shown text edited away from the entry",
         {},
         [](MainForm& form) { form.cboDSREmulateKey.setText(u"vbKeyA"); },
         {"key 16 down", "key 16 up"}},
    };
    for (const auto& c : cases) {
        test::TestForm window;
        MainForm& form = window.form;
        if (c.before) c.before(form);
        form.dsrHandler.SignalOn();
        c.whileOn(form);
        form.dsrHandler.SignalOff();
        EXPECT_EQ(window.input.events, c.events) << c.situation;
        EXPECT_FALSE(form.dsrHandler.flag()) << c.situation;
    }
}

TEST_F(HandlerTest, NoSelectedEntryInjectsNothing) {
    form.cboDSREmulateKey.setText(u"vbKeyShif");
    ASSERT_EQ(form.cboDSREmulateKey.listIndex(), -1);
    dsr().SignalOn();
    expectOn(dsr());
    dsr().SignalOff();
    expectOff(dsr());
    EXPECT_TRUE(events().empty());
}

TEST_F(HandlerTest, SignalOnTwiceActsTwice) {
    dsr().SignalOn();
    dsr().SignalOn();
    EXPECT_EQ(events(), (Events{"key 16 down", "key 16 down"}));
    expectOn(dsr());
}

TEST(Handler, WithoutAModeOnlyTheIndicatorAndFlagChange) {
    RecordedInput input;
    test::ManualLoop time;
    OptionButton a, b, c;
    DropDownList list, lookup;
    TextBox sendKeys, generateKeys;
    Indicator box;
    SignalHandler handler({.box = box,
                           .optEmulateKey = a,
                           .cboEmulateKey = list,
                           .optSendKeys = b,
                           .txtSendKeys = sendKeys,
                           .optGenerateKeys = c,
                           .txtGenerateKeys = generateKeys,
                           .cboKeyLookup = lookup},
                          input, {}, time);
    handler.SignalOn();
    expectOn(handler);
    handler.SignalOff();
    expectOff(handler);
    EXPECT_TRUE(input.events.empty());
}

// SendKeys --------------------------------------------------------------------------------------

TEST_F(HandlerTest, SendKeysTypesOnceWhenTheLineComesOn) {
    form.optDSRSendKeys.setValue(true);
    RecordedInput expected;
    ASSERT_FALSE(SendKeys(expected, u"%{TAB}"));
    ASSERT_FALSE(expected.events.empty());
    dsr().SignalOn();
    EXPECT_EQ(events(), expected.events);
    dsr().SignalOff();
    EXPECT_EQ(events(), expected.events);
    expectOff(dsr());
}

TEST_F(HandlerTest, SendKeysReadsTheTextAtTheMomentItActs) {
    form.optCDSendKeys.setValue(true);
    form.txtCDSendKeys.setText(u"ab");
    form.cdHandler.SignalOn();
    EXPECT_EQ(events(), (Events{"char a", "char b"}));
}

TEST_F(HandlerTest, AStringThatCannotBeTypedTypesNothing) {
    form.optDSRSendKeys.setValue(true);
    form.txtDSRSendKeys.setText(u"ab{");
    dsr().SignalOn();
    EXPECT_TRUE(events().empty());
    expectOn(dsr());
}

// Generate Keys ---------------------------------------------------------------------------------

TEST_F(HandlerTest, GenerateKeysPlaysChordsDownInOrderAndUpInReverse) {
    const struct {
        const char16_t* text;
        Events events;
    } cases[] = {
        {u"vbKeyMenu+vbKeyTab", {"key 18 down", "key 9 down", "key 9 up", "key 18 up"}},
        {u"vbKeyShift,vbKeyTab", {"key 16 down", "key 16 up", "key 9 down", "key 9 up"}},
        {u"vbKeyMenu+Tab", {"key 18 down", "key 18 up"}},
        {u"vbKeyLButton+vbKeyA", {"mouse left down", "key 65 down", "key 65 up", "mouse left up"}},
        {u"vbKeyShift,+,vbKeyTab", {}},
        {u"nothing", {}},
    };
    form.optDSRGenerateKeys.setValue(true);
    for (const auto& c : cases) {
        const std::string text = testing::PrintToString(std::u16string(c.text));
        form.txtDSRGenerateKeys.setText(c.text);
        events().clear();
        dsr().SignalOn();
        EXPECT_EQ(events(), c.events) << text;
        dsr().SignalOff();
        EXPECT_EQ(events(), c.events) << text;
    }
}

TEST_F(HandlerTest, GenerateKeysWithoutATablePlaysNothing) {
    form.optCTSGenerateKeys.setValue(true);
    ASSERT_FALSE(form.ctsHandler.generateKeys());
    form.ctsHandler.SignalOn();
    expectOn(form.ctsHandler);
    EXPECT_TRUE(events().empty());
}

TEST_F(HandlerTest, TestShowsItsMessageBox) {
    dsr().test();
    EXPECT_EQ(window.messageBoxes, std::vector<std::u16string>{u"this is a class"});
    EXPECT_TRUE(events().empty());
}

// The Generate Keys and SendKeys boxes: each change parses the line's text through the hidden key
// list, and the box names what cannot act as written. ---------------------------------------------

class KeyCodeStringTest : public HandlerTest {
  protected:
    // Sets the CD line's Generate Keys text, as typing or a command would, and dumps the table.
    std::u16string parse(std::u16string text) {
        form.txtCDGenerateKeys.setText(std::move(text));
        return form.cdHandler.GenerateKeyCodeString();
    }
};

TEST_F(KeyCodeStringTest, AFailedLookupIsMinusOneEvenAfterASuccessfulOne) {
    parse(u"vbKeyTab");
    SelectKeyByName(form.cboKeyLookup, u"vbKeyTab");
    EXPECT_EQ(parse(u"Tab"), u"-1+,");
    EXPECT_EQ(parse(u"vbKeyTab+Tab"), u"9+-1+,");
}

TEST_F(KeyCodeStringTest, EveryKeystrokeIsTranslated) {
    const std::u16string text = u"vbKeyMenu+vbKeyTab";
    std::vector<std::u16string> dumps;
    for (size_t i = 1; i <= text.size(); ++i) dumps.push_back(parse(text.substr(0, i)));
    EXPECT_EQ(dumps.at(7), u"-1+,");      // "vbKeyMen"
    EXPECT_EQ(dumps.at(8), u"18+,");      // "vbKeyMenu"
    EXPECT_EQ(dumps.at(9), u"18+,");      // "vbKeyMenu+"
    EXPECT_EQ(dumps.at(10), u"18+-1+,");  // "vbKeyMenu+v"
    EXPECT_EQ(dumps.back(), u"18+9+,");
}

TEST_F(KeyCodeStringTest, EachLineParsesOnlyItsOwnText) {
    form.txtCTSGenerateKeys.setText(u"vbKeyA");
    EXPECT_EQ(form.ctsHandler.GenerateKeyCodeString(), u"65+,");
    EXPECT_EQ(form.dsrHandler.GenerateKeyCodeString(), u"18+9+,");
    EXPECT_EQ(form.cdHandler.GenerateKeyCodeString(), u"");
}

TEST_F(KeyCodeStringTest, TheTextBoxNamesWhatCannotActAsWritten) {
    const struct {
        const char16_t* text;
        const char16_t* problem;
    } cases[] = {
        {u"vbKeyMenu+Tab,Esc", u"No key is named \"Tab\", \"Esc\""},
        {u"vbKeyMenu+vbKeyTab", u""},
    };
    for (const auto& c : cases) {
        form.txtDSRGenerateKeys.setText(c.text);
        EXPECT_EQ(form.txtDSRGenerateKeys.problem(), c.problem)
            << testing::PrintToString(std::u16string(c.text));
    }
}

TEST_F(KeyCodeStringTest, SendKeysBoxesNameTextsThatCannotBeTyped) {
    form.txtCTSSendKeys.setText(u"{LEFT");
    EXPECT_EQ(form.txtCTSSendKeys.problem(), u"Cannot be typed: unclosed \"{\" (at character 1)");
    form.txtCTSSendKeys.setText(u"ab{LEFT x}");
    EXPECT_EQ(form.txtCTSSendKeys.problem(),
              u"Cannot be typed: bad repeat count \"x\" (at character 3)");
    form.txtCTSSendKeys.setText(u"{LEFT}");
    EXPECT_EQ(form.txtCTSSendKeys.problem(), u"");
}

TEST_F(KeyCodeStringTest, FeedbackChangesNothingInTheLog) {
    const std::u16string before = form.EventLog.caption();
    form.txtDSRGenerateKeys.setText(u"nonsense");
    form.txtDSRSendKeys.setText(u"{");
    EXPECT_FALSE(form.txtDSRGenerateKeys.problem().empty());
    EXPECT_FALSE(form.txtDSRSendKeys.problem().empty());
    EXPECT_EQ(form.EventLog.caption(), before);
}

}  // namespace
}  // namespace velnor
