// A line switched on in mode "Generate Keys" types into a real X window through XTest.

#include <gtest/gtest.h>

#include "main_window/main_form.h"
#include "platform/x11/xtest_input.h"
#include "signal_actions/signal_handler.h"
#include "support/x_server.h"

namespace velnor {
namespace {

using test::OnXvfb;
using test::xvfbDisplay;

class GenerateKeysOnX : public OnXvfb {};

TEST_F(GenerateKeysOnX, ChordAndStepTypeIntoTheFocusedWindow) {
    auto input = openXTestInput(xvfbDisplay().c_str());
    ASSERT_TRUE(input.has_value()) << input.error().toStdString();
    MainForm form(**input, "");
    form.Form_Load();
    form.optDSRGenerateKeys->setChecked(true);
    form.txtDSRGenerateKeys->setText("vbKeyShift+vbKeyA,vbKeyB");
    form.dsrHandler->SignalOn();
    EXPECT_EQ(window->takeText(2), "Ab");
    form.dsrHandler->SignalOff();
    EXPECT_TRUE(window->held().isEmpty()) << window->held().join(", ").toStdString();
}

}  // namespace
}  // namespace velnor
