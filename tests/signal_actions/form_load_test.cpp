#include <gtest/gtest.h>

#include "main_window/main_form.h"
#include "signal_actions/signal_handler.h"
#include "support/recording_input_sink.h"

namespace velnor {
namespace {

struct LineDefaults {
    const char* line;
    std::unique_ptr<SignalHandler> MainForm::*handler;
    const char* mode;
    const char* key;
    const char* sendKeys;
    const char* generateKeys;
    const char* dump;
};

TEST(FormLoad, WritesTheDefaultsOfEachLineAndTiesItsHandler) {
    RecordingInputSink input;
    MainForm form(input, "");
    form.Form_Load();
    const LineDefaults lines[] = {
        {"DSR", &MainForm::dsrHandler, "optDSREmulateKey", "vbKeyShift", "%{TAB}",
         "vbKeyMenu+vbKeyTab", "18+9+,"},
        {"CTS", &MainForm::ctsHandler, "optCTSEmulateKey", "vbKeyMenu (alt)", "^v", "", ""},
        {"CD", &MainForm::cdHandler, "optCDEmulateKey", "vbKeyControl", "^c", "", ""},
    };
    for (const LineDefaults& l : lines) {
        SCOPED_TRACE(l.line);
        const QString line = l.line;
        SignalHandler& handler = *(form.*l.handler);
        EXPECT_FALSE(handler.flag());
        EXPECT_TRUE(handler.name().isEmpty());
        EXPECT_EQ(handler.box()->objectName(), "box" + line);
        EXPECT_EQ(handler.optEmulateKey()->objectName(), "opt" + line + "EmulateKey");
        EXPECT_EQ(handler.cboEmulateKey()->objectName(), "cbo" + line + "EmulateKey");
        EXPECT_EQ(handler.optSendKeys()->objectName(), "opt" + line + "SendKeys");
        EXPECT_EQ(handler.txtSendKeys()->objectName(), "txt" + line + "SendKeys");
        EXPECT_EQ(handler.optGenerateKeys()->objectName(), "opt" + line + "GenerateKeys");
        EXPECT_EQ(handler.txtGenerateKeys()->objectName(), "txt" + line + "GenerateKeys");
        EXPECT_EQ(handler.cboKeyLookup(), form.cboKeyLookup);
        EXPECT_TRUE(form.findChild<QRadioButton*>(l.mode)->isChecked());
        EXPECT_EQ(handler.cboEmulateKey()->count(), 99);
        EXPECT_EQ(handler.cboEmulateKey()->currentText(), l.key);
        EXPECT_EQ(handler.txtSendKeys()->text(), l.sendKeys);
        EXPECT_EQ(handler.txtGenerateKeys()->text(), l.generateKeys);
        EXPECT_EQ(handler.GenerateKeyCodeString(), l.dump);
        EXPECT_EQ(handler.box()->fillColor(), 192);
    }
    EXPECT_EQ(form.cboKeyLookup->count(), 99);
    EXPECT_TRUE(form.EventLog->text().endsWith("EventLog"));
}

}  // namespace
}  // namespace velnor
