#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QInputDialog>
#include <QMenu>
#include <QTest>
#include <QTimer>

#include "main_window/main_form.h"
#include "serial_line/line_filter.h"
#include "support/recording_input_sink.h"

namespace velnor {
namespace {

enum class Kind { Frame, Option, Text, List, Label, Indicator };

struct Control {
    const char* name;
    Kind kind;
    const char* container;
    const char* caption;           // nullptr: the control has no caption
    int left, top, width, height;  // twips
    bool visible = true;
};

const Control kControls[] = {
    {"Frame1", Kind::Frame, "", "Event Log", 5400, 120, 4695, 7215},
    {"txtGenerateKeyCodes", Kind::Text, "Frame1", "", 120, 6720, 3375, 285, false},
    {"txtCommandLine", Kind::Text, "Frame1", "Text1", 120, 6360, 3255, 285, false},
    {"EventLog", Kind::Label, "Frame1", "EventLog", 240, 360, 4215, 5775},
    {"frameCD", Kind::Frame, "", "CD Input Signal", 120, 6600, 4935, 2055},
    {"txtCDGenerateKeys", Kind::Text, "frameCD", "", 960, 1560, 3855, 315},
    {"optCDGenerateKeys", Kind::Option, "frameCD", "Generate Keys", 960, 1200, 2655, 255},
    {"txtCDSendKeys", Kind::Text, "frameCD", "", 2880, 720, 1815, 315},
    {"optCDSendKeys", Kind::Option, "frameCD", "SendKeys", 2880, 360, 1335, 255},
    {"optCDEmulateKey", Kind::Option, "frameCD", "Emulate a key", 960, 360, 1335, 255},
    {"cboCDEmulateKey", Kind::List, "frameCD", "CDEmulateKey", 960, 720, 1695, 315},
    {"boxCD", Kind::Indicator, "frameCD", nullptr, 240, 480, 375, 375},
    {"frameCTS", Kind::Frame, "", "CTS Input Signal", 120, 4440, 4935, 2055},
    {"optCTSGenerateKeys", Kind::Option, "frameCTS", "Generate Keys", 960, 1200, 2655, 255},
    {"txtCTSGenerateKeys", Kind::Text, "frameCTS", "", 960, 1560, 3855, 315},
    {"cboCTSEmulateKey", Kind::List, "frameCTS", "CTSEmulateKey", 960, 720, 1695, 315},
    {"optCTSEmulateKey", Kind::Option, "frameCTS", "Emulate a key", 960, 360, 1335, 255},
    {"optCTSSendKeys", Kind::Option, "frameCTS", "SendKeys", 2880, 360, 1335, 255},
    {"txtCTSSendKeys", Kind::Text, "frameCTS", "", 2880, 720, 1815, 315},
    {"boxCTS", Kind::Indicator, "frameCTS", nullptr, 240, 480, 375, 375},
    {"frameDSR", Kind::Frame, "", "DSR Input Signal", 120, 2280, 4935, 2055},
    {"cboKeyLookup", Kind::List, "frameDSR", "Combo1", 120, 1560, 735, 315, false},
    {"txtDSRGenerateKeys", Kind::Text, "frameDSR", "", 960, 1560, 3855, 315},
    {"optDSRGenerateKeys", Kind::Option, "frameDSR", "Generate Keys", 960, 1200, 2655, 255},
    {"txtDSRSendKeys", Kind::Text, "frameDSR", "", 2880, 720, 1815, 315},
    {"optDSRSendKeys", Kind::Option, "frameDSR", "SendKeys", 2880, 360, 1335, 255},
    {"optDSREmulateKey", Kind::Option, "frameDSR", "Emulate a key", 960, 360, 1335, 255},
    {"cboDSREmulateKey", Kind::List, "frameDSR", "DSREmulateKey", 960, 720, 1695, 315},
    {"boxDSR", Kind::Indicator, "frameDSR", nullptr, 240, 480, 375, 375},
    {"frameRI", Kind::Frame, "", "RI Input Signal", 5400, 7680, 4695, 975},
    {"RITimeStamp", Kind::Label, "frameRI", "RI Mode Indicator Field", 720, 480, 2415, 255},
    {"boxRI", Kind::Indicator, "frameRI", nullptr, 240, 360, 375, 375},
    {"RTS", Kind::Frame, "", "RTS Output Signal", 3000, 1200, 2055, 735},
    {"optRTSOn", Kind::Option, "RTS", "On", 1200, 240, 615, 375},
    {"optRTSOff", Kind::Option, "RTS", "Off", 240, 240, 615, 375},
    {"Port", Kind::Frame, "", "Port", 120, 120, 4935, 855},
    {"optComNone", Kind::Option, "Port", "None", 240, 360, 855, 255},
    {"optCom4", Kind::Option, "Port", "Com 4", 3960, 360, 855, 255},
    {"optCom3", Kind::Option, "Port", "Com 3", 3000, 360, 855, 255},
    {"optCom2", Kind::Option, "Port", "Com 2", 2040, 360, 855, 255},
    {"optCom1", Kind::Option, "Port", "Com 1", 1080, 360, 855, 255},
    {"DTR", Kind::Frame, "", "DTR Output Signal", 120, 1200, 2055, 735},
    {"optDTROff", Kind::Option, "DTR", "Off", 240, 240, 615, 375},
    {"optDTROn", Kind::Option, "DTR", "On", 1200, 240, 615, 375},
};

QString captionOf(QWidget* control, Kind kind) {
    switch (kind) {
        case Kind::Frame:
            return static_cast<QGroupBox*>(control)->title();
        case Kind::Option:
            return static_cast<QRadioButton*>(control)->text();
        case Kind::Text:
            return static_cast<QLineEdit*>(control)->text();
        case Kind::List:
            return static_cast<QComboBox*>(control)->currentText();
        case Kind::Label:
            return static_cast<QLabel*>(control)->text();
        case Kind::Indicator:
            break;
    }
    return {};
}

bool isKind(QWidget* control, Kind kind) {
    switch (kind) {
        case Kind::Frame:
            return qobject_cast<QGroupBox*>(control);
        case Kind::Option:
            return qobject_cast<QRadioButton*>(control);
        case Kind::Text:
            return qobject_cast<QLineEdit*>(control) &&
                   !qobject_cast<QComboBox*>(control->parent());
        case Kind::List:
            return qobject_cast<QComboBox*>(control) &&
                   static_cast<QComboBox*>(control)->isEditable();
        case Kind::Label:
            return qobject_cast<QLabel*>(control);
        case Kind::Indicator:
            return qobject_cast<Indicator*>(control);
    }
    return false;
}

class WindowTest : public ::testing::Test {
  protected:
    WindowTest() : form(input, "") { form.show(); }
    RecordingInputSink input;
    MainForm form;
};

TEST_F(WindowTest, EveryControlHasItsKindContainerCaptionGeometryAndVisibility) {
    for (const Control& c : kControls) {
        SCOPED_TRACE(c.name);
        auto* control = form.findChild<QWidget*>(c.name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(isKind(control, c.kind));
        const QWidget* container = control->parentWidget();
        EXPECT_EQ(container == &form ? QString() : container->objectName(), c.container);
        if (c.caption) {
            EXPECT_EQ(captionOf(control, c.kind), c.caption);
        }
        EXPECT_EQ(control->geometry(), QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15));
        EXPECT_EQ(control->isVisible(), c.visible);
    }
}

TEST_F(WindowTest, ChildrenStandInTheStoredOrder) {
    QStringList expected, actual;
    for (const Control& c : kControls) expected.append(c.name);
    for (QWidget* top : form.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        actual.append(top->objectName());
        if (qobject_cast<QGroupBox*>(top))
            for (QWidget* child : top->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                actual.append(child->objectName());
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(WindowTest, CaptionSizeAndInitialSelections) {
    EXPECT_EQ(form.windowTitle(), "Velnor Control");
    EXPECT_EQ(form.size(), QSize(10230 / 15, 8805 / 15));
    QStringList selected;
    for (auto* button : form.findChildren<QRadioButton*>())
        if (button->isChecked()) selected.append(button->objectName());
    selected.sort();
    EXPECT_EQ(selected, (QStringList{"optComNone", "optDTROff", "optRTSOff"}));
}

TEST_F(WindowTest, EveryOptionCaptionFitsItsButtonInOneFont) {
    const auto buttons = form.findChildren<QRadioButton*>();
    for (const QRadioButton* button : buttons) {
        EXPECT_LE(button->sizeHint().width(), button->width())
            << button->objectName().toStdString();
        EXPECT_EQ(button->font(), buttons.front()->font()) << button->objectName().toStdString();
    }
}

TEST_F(WindowTest, IndicatorsStartDarkAndTakeAnyStoredColour) {
    for (Indicator* box : {form.boxDSR, form.boxCTS, form.boxCD, form.boxRI}) {
        EXPECT_EQ(box->fillColor(), 192);
        box->setFillColor(255);
        EXPECT_EQ(box->fillColor(), 255);
        const QImage image = box->grab().toImage();
        EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2), QColor(255, 0, 0));
    }
}

TEST_F(WindowTest, DropDownListsKeepItemDataAndLoseTheSelectionWhenEdited) {
    QComboBox& list = *form.cboDSREmulateKey;
    list.addItem("vbKeyA", 65);
    list.addItem("vbKeyB", 66);
    list.setCurrentIndex(1);
    EXPECT_EQ(list.itemData(1, Qt::UserRole).toInt(), 66);
    list.lineEdit()->selectAll();
    QTest::keyClicks(list.lineEdit(), "x");
    EXPECT_EQ(list.currentIndex(), -1);
    EXPECT_EQ(list.currentText(), "x");
    EXPECT_EQ(list.count(), 2);
}

// The action `text` of the submenu `submenu`.
QAction* menuAction(const QMenu& menu, const QString& submenu, const QString& text) {
    for (const QAction* entry : menu.actions()) {
        if (!entry->menu() || entry->text() != submenu) continue;
        for (QAction* action : entry->menu()->actions())
            if (action->text() == text) return action;
    }
    return nullptr;
}

// Each line's settle time and polarity are set from a context menu on its frame, which moves no
// control; the frame's tooltip tells them.
TEST_F(WindowTest, EachLineFrameHasAMenuForItsSettleTimeAndPolarity) {
    const struct {
        QGroupBox* frame;
        LineFilter* filter;
        const char* name;
    } lines[] = {{form.frameDSR, form.dsrFilter.get(), "DSR"},
                 {form.frameCTS, form.ctsFilter.get(), "CTS"},
                 {form.frameCD, form.cdFilter.get(), "CD"}};
    for (const auto& line : lines) {
        SCOPED_TRACE(line.name);
        EXPECT_EQ(line.frame->contextMenuPolicy(), Qt::CustomContextMenu);
        EXPECT_EQ(
            line.frame->toolTip(),
            QString(line.name) + ": every edge acts, normal polarity. Right-click to change.");
        auto menu = form.lineMenu(*line.frame);
        ASSERT_TRUE(menu);
        EXPECT_TRUE(menuAction(*menu, "Settle time", "None: every edge acts")->isChecked());
        EXPECT_TRUE(menuAction(*menu, "Polarity", "Normal")->isChecked());
        menuAction(*menu, "Settle time", "30 ms")->trigger();
        menuAction(*menu, "Polarity", "Inverted (normally closed switch)")->trigger();
        EXPECT_EQ(line.filter->settleTime().count(), 30);
        EXPECT_TRUE(line.filter->inverted());
        EXPECT_EQ(line.frame->toolTip(), QString(line.name) +
                                             ": settle time 30 ms, inverted polarity. Right-click "
                                             "to change.");

        // Any other time in a dialog, which the menu then shows.
        menu = form.lineMenu(*line.frame);
        EXPECT_TRUE(menuAction(*menu, "Settle time", "30 ms")->isChecked());
        QTimer::singleShot(0, [] {
            auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(dialog, nullptr);
            dialog->setIntValue(250);
            dialog->accept();
        });
        menuAction(*menu, "Settle time", "Other...")->trigger();
        EXPECT_EQ(line.filter->settleTime().count(), 250);
        menu = form.lineMenu(*line.frame);
        EXPECT_TRUE(menuAction(*menu, "Settle time", "Other (250 ms)...")->isChecked());
        EXPECT_TRUE(
            menuAction(*menu, "Polarity", "Inverted (normally closed switch)")->isChecked());
    }
    EXPECT_EQ(form.lineMenu(*form.Port), nullptr);
}

}  // namespace
}  // namespace velnor
