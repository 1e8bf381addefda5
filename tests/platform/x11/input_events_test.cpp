#include "core/input_events.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

#include "platform/qt/event_loop.h"
#include "platform/x11/xtest_input.h"
#include "support/linux_form.h"
#include "support/x_server.h"

namespace velnor {
namespace {

using InputEvents::KeyDown;
using InputEvents::KeyUp;

using InputEventsOnX = test::XTestOnXvfb;

TEST_F(InputEventsOnX, KeysArriveAsTheirKeysyms) {
    const struct {
        int16_t code;
        unsigned long keysym;
    } rows[] = {
        {3, XK_Cancel},     {8, XK_BackSpace}, {9, XK_Tab},     {13, XK_Return}, {16, XK_Shift_L},
        {17, XK_Control_L}, {18, XK_Alt_L},    {27, XK_Escape}, {37, XK_Left},   {46, XK_Delete},
        {65, XK_a},         {90, XK_z},        {48, XK_0},      {96, XK_KP_0},   {107, XK_KP_Add},
        {112, XK_F1},       {127, XK_F16},
    };
    for (const auto& row : rows) {
        KeyDown(*sink, row.code);
        KeyUp(*sink, row.code);
        const QString name = test::keysymName(row.keysym);
        EXPECT_EQ(window->takeEvents(2).join(", ").toStdString(),
                  ("press " + name + ", release " + name).toStdString())
            << row.code;
    }
}

// The buttons act where the pointer is; no event moves it.
TEST_F(InputEventsOnX, MouseCodesArriveAsButtonsAtThePointer) {
    const struct {
        int16_t code;
        int button;
    } rows[] = {{1, 1}, {2, 3}, {4, 2}};
    const QString at =
        QString(" at %1,%2").arg(test::FocusWindow::kPointerX).arg(test::FocusWindow::kPointerY);
    for (const auto& row : rows) {
        const QString button = QString("button %1").arg(row.button);
        KeyDown(*sink, row.code);
        EXPECT_EQ(window->takeEvents(1).join(", ").toStdString(),
                  (button + " press" + at).toStdString());
        EXPECT_EQ(window->held().join(", ").toStdString(), button.toStdString());
        KeyUp(*sink, row.code);
        EXPECT_EQ(window->takeEvents(1).join(", ").toStdString(),
                  (button + " release" + at).toStdString());
    }
    EXPECT_TRUE(window->held().isEmpty());
}

// A line switched on in mode "Generate Keys" types into a real X window through XTest.
class GenerateKeysOnX : public test::OnXvfb {};

TEST_F(GenerateKeysOnX, ChordAndStepTypeIntoTheFocusedWindow) {
    QtEventLoop loop;
    auto input = openXTestInput(loop, test::xvfbDisplay().c_str());
    ASSERT_TRUE(input.has_value()) << QString::fromStdU16String(input.error().reason).toStdString();
    LinuxForm form(**input, "");
    form.Form_Load();
    form.optDSRGenerateKeys.setValue(true);
    form.txtDSRGenerateKeys.setText(u"vbKeyShift+vbKeyA,vbKeyB");
    form.dsrHandler.SignalOn();
    EXPECT_EQ(window->takeText(2), "Ab");
    form.dsrHandler.SignalOff();
    EXPECT_TRUE(window->held().isEmpty()) << window->held().join(", ").toStdString();
}

}  // namespace
}  // namespace velnor
