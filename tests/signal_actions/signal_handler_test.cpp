#include "signal_actions/signal_handler.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <functional>

#include "core/send_keys.h"
#include "key_names/key_names.h"
#include "main_window/main_form.h"
#include "platform/widgets.h"
#include "support/recording_input_sink.h"

namespace velnor {
namespace {

class HandlerTest : public ::testing::Test {
  protected:
    HandlerTest() : form(input, "") { form.Form_Load(); }

    SignalHandler& dsr() { return *form.dsrHandler; }
    void expectOn(SignalHandler& handler) {
        EXPECT_TRUE(handler.flag());
        EXPECT_EQ(handler.box()->fillColor(), 255);
    }
    void expectOff(SignalHandler& handler) {
        EXPECT_FALSE(handler.flag());
        EXPECT_EQ(handler.box()->fillColor(), 192);
    }

    RecordingInputSink input;
    MainForm form;
};

// Emulate a key ---------------------------------------------------------------------------------

TEST_F(HandlerTest, EmulatedKeyIsHeldWhileTheLineIsOn) {
    dsr().SignalOn();
    EXPECT_EQ(input.events, QStringList{"key 16 down"});
    expectOn(dsr());
    dsr().SignalOff();
    EXPECT_EQ(input.events, (QStringList{"key 16 down", "key 16 up"}));
    expectOff(dsr());
}

TEST_F(HandlerTest, MouseButtonCodesPressAndReleaseButtons) {
    struct Case {
        const char* name;
        const char* button;
    };
    for (const Case& c : {Case{"vbKeyLButton", "left"}, Case{"vbKeyRButton", "right"},
                          Case{"vbKeyMButton", "middle"}, Case{"vbKeyCancel", nullptr}}) {
        input.events.clear();
        SelectKeyByName(*form.cboDSREmulateKey, c.name);
        dsr().SignalOn();
        dsr().SignalOff();
        const QStringList expected = c.button ? QStringList{QString("mouse %1 down").arg(c.button),
                                                            QString("mouse %1 up").arg(c.button)}
                                              : QStringList{"key 3 down", "key 3 up"};
        EXPECT_EQ(input.events, expected) << c.name;
    }
}

// Going off releases the key that coming on pressed, whatever the mode and the selection are by
// then, and nothing when coming on pressed nothing.
TEST(Handler, GoingOffReleasesExactlyTheKeyPressed) {
    const struct {
        const char* situation;
        std::function<void(MainForm&)> before;   // before the line comes on
        std::function<void(MainForm&)> whileOn;  // while it is on
        QStringList events;
    } cases[] = {
        {"the selection changed to Alt",
         {},
         [](MainForm& form) { SelectKeyByName(*form.cboDSREmulateKey, "vbKeyMenu"); },
         {"key 16 down", "key 16 up"}},
        {"the mode changed to SendKeys",
         {},
         [](MainForm& form) { form.optDSRSendKeys->setChecked(true); },
         {"key 16 down", "key 16 up"}},
        {"the mode changed to Emulate a key after an empty SendKeys text",
         [](MainForm& form) {
             form.optDSRSendKeys->setChecked(true);
             form.txtDSRSendKeys->setText("");
         },
         [](MainForm& form) { form.optDSREmulateKey->setChecked(true); },
         {}},
        {"an entry selected after none was",
         [](MainForm& form) { setSelectedEntry(*form.cboDSREmulateKey, -1); },
         [](MainForm& form) { SelectKeyByName(*form.cboDSREmulateKey, "vbKeyA"); },
         {}},
    };
    for (const auto& c : cases) {
        RecordingInputSink input;
        MainForm form(input, "");
        form.Form_Load();
        if (c.before) c.before(form);
        form.dsrHandler->SignalOn();
        c.whileOn(form);
        form.dsrHandler->SignalOff();
        EXPECT_EQ(input.events, c.events) << c.situation;
        EXPECT_FALSE(form.dsrHandler->flag()) << c.situation;
    }
}

TEST_F(HandlerTest, NoSelectedEntryInjectsNothing) {
    setSelectedEntry(*form.cboDSREmulateKey, -1);
    dsr().SignalOn();
    expectOn(dsr());
    dsr().SignalOff();
    expectOff(dsr());
    EXPECT_TRUE(input.events.isEmpty());
}

TEST_F(HandlerTest, SignalOnTwiceActsTwice) {
    dsr().SignalOn();
    dsr().SignalOn();
    EXPECT_EQ(input.events, (QStringList{"key 16 down", "key 16 down"}));
    expectOn(dsr());
}

TEST_F(HandlerTest, WithoutAModeOnlyTheIndicatorAndFlagChange) {
    SignalHandler handler(input);
    QRadioButton a, b, c;
    QComboBox list;
    QLineEdit sendKeys, generateKeys;
    Indicator box;
    handler.setBox(box);
    handler.setOptEmulateKey(a);
    handler.setCboEmulateKey(list);
    handler.setOptSendKeys(b);
    handler.setTxtSendKeys(sendKeys);
    handler.setOptGenerateKeys(c);
    handler.setTxtGenerateKeys(generateKeys);
    handler.SignalOn();
    expectOn(handler);
    handler.SignalOff();
    expectOff(handler);
    EXPECT_TRUE(input.events.isEmpty());
}

// SendKeys --------------------------------------------------------------------------------------

TEST_F(HandlerTest, SendKeysTypesOnceWhenTheLineComesOn) {
    form.optDSRSendKeys->setChecked(true);
    RecordingInputSink expected;
    ASSERT_FALSE(SendKeys(expected, u"%{TAB}"));
    ASSERT_FALSE(expected.events.isEmpty());
    dsr().SignalOn();
    EXPECT_EQ(input.events, expected.events);
    dsr().SignalOff();
    EXPECT_EQ(input.events, expected.events);
    expectOff(dsr());
}

TEST_F(HandlerTest, SendKeysReadsTheTextAtTheMomentItActs) {
    form.optCDSendKeys->setChecked(true);
    form.txtCDSendKeys->setText("ab");
    form.cdHandler->SignalOn();
    EXPECT_EQ(input.events, (QStringList{"char a", "char b"}));
}

TEST_F(HandlerTest, AStringThatCannotBeTypedTypesNothing) {
    form.optDSRSendKeys->setChecked(true);
    form.txtDSRSendKeys->setText("ab{");
    dsr().SignalOn();
    EXPECT_TRUE(input.events.isEmpty());
    expectOn(dsr());
}

// Generate Keys ---------------------------------------------------------------------------------

TEST_F(HandlerTest, GenerateKeysPlaysChordsDownInOrderAndUpInReverse) {
    struct Case {
        const char* text;
        QStringList events;
    };
    const Case cases[] = {
        {"vbKeyMenu+vbKeyTab", {"key 18 down", "key 9 down", "key 9 up", "key 18 up"}},
        {"vbKeyShift,vbKeyTab", {"key 16 down", "key 16 up", "key 9 down", "key 9 up"}},
        {"vbKeyMenu+Tab", {"key 18 down", "key 18 up"}},
        {"vbKeyLButton+vbKeyA", {"mouse left down", "key 65 down", "key 65 up", "mouse left up"}},
        {"vbKeyShift,+,vbKeyTab", {}},
        {"nothing", {}},
    };
    form.optDSRGenerateKeys->setChecked(true);
    for (const Case& c : cases) {
        form.txtDSRGenerateKeys->setText(c.text);
        input.events.clear();
        dsr().SignalOn();
        EXPECT_EQ(input.events, c.events) << c.text;
        dsr().SignalOff();
        EXPECT_EQ(input.events, c.events) << c.text;
    }
}

TEST_F(HandlerTest, GenerateKeysWithoutATablePlaysNothing) {
    form.optCTSGenerateKeys->setChecked(true);
    ASSERT_FALSE(form.ctsHandler->generateKeys());
    form.ctsHandler->SignalOn();
    expectOn(*form.ctsHandler);
    EXPECT_TRUE(input.events.isEmpty());
}

TEST_F(HandlerTest, TestShowsItsMessageBox) {
    QString text, title;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        text = box->text();
        title = box->windowTitle();
        box->accept();
    });
    dsr().test();
    EXPECT_EQ(text, "this is a class");
    EXPECT_EQ(title, "Velnor");
}

}  // namespace
}  // namespace velnor
