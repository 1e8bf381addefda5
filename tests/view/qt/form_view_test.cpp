// The Qt window as a view of the form: its widgets are built from the layout table, follow every
// change of the model, and hand the user's input to the model's setters.
#include "view/qt/form_view.h"

#include <gtest/gtest.h>

#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "core/input_sink.h"
#include "core/layout.h"
#include "core/support/menu_text.h"
#include "platform/linux/port_backend.h"
#include "platform/qt/text.h"
#include "platform/xdg/autostart.h"
#include "support/indicator_colours.h"
#include "support/linux_form.h"
#include "support/log_lines.h"
#include "support/qt_print.h"
#include "support/recording_input_sink.h"
#include "support/scoped_env.h"
#include "view/qt/frame_style.h"
#include "view/qt/indicator_box.h"
#include "view/qt/log_label.h"

namespace velnor {
namespace {

enum class Kind { Frame, Option, Text, List, Label, Indicator };

struct Expected {
    const char* name;
    Kind kind;
    const char* container;
    const char* caption;           // nullptr: the control has no caption
    int left, top, width, height;  // twips
    bool visible = true;
};

const Expected kControls[] = {
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
            if (auto* log = qobject_cast<LogLabel*>(control)) return log->text();
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
                   static_cast<QComboBox*>(control)->isEditable() &&
                   static_cast<QComboBox*>(control)->insertPolicy() == QComboBox::NoInsert;
        case Kind::Label:
            return qobject_cast<QLabel*>(control) || qobject_cast<LogLabel*>(control);
        case Kind::Indicator:
            return qobject_cast<IndicatorBox*>(control);
    }
    return false;
}

class ViewTest : public ::testing::Test {
  protected:
    ViewTest() : form(input, ""), view(form) { view.show(); }

    template <class W>
    W* widget(const Control& control) {
        return static_cast<W*>(view.widgetOf(control));
    }
    // A click on the button's indicator.
    void click(const OptionButton& button) {
        auto* radio = widget<QRadioButton>(button);
        QTest::mouseClick(radio, Qt::LeftButton, {}, QPoint(4, radio->height() / 2));
    }

    RecordingInputSink input;
    LinuxForm form;
    QtFormView view;
};

using WindowTest = ViewTest;

TEST_F(WindowTest, EveryControlHasItsKindContainerCaptionGeometryAndVisibility) {
    for (const Expected& c : kControls) {
        SCOPED_TRACE(c.name);
        auto* control = view.findChild<QWidget*>(c.name);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(isKind(control, c.kind));
        const QWidget* container = control->parentWidget();
        EXPECT_EQ(container == &view ? QString() : container->objectName(), c.container);
        if (c.caption) {
            EXPECT_EQ(captionOf(control, c.kind), c.caption);
        }
        EXPECT_EQ(control->geometry(), QRect(c.left / 15, c.top / 15, c.width / 15, c.height / 15));
        EXPECT_EQ(control->isVisible(), c.visible);
    }
}

TEST_F(WindowTest, ChildrenStandInTheStoredOrder) {
    QStringList expected, actual;
    for (const Expected& c : kControls) expected.append(c.name);
    for (QWidget* top : view.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        actual.append(top->objectName());
        if (qobject_cast<QGroupBox*>(top))
            for (QWidget* child : top->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                actual.append(child->objectName());
    }
    EXPECT_EQ(actual, expected);
}

TEST_F(WindowTest, CaptionSizeAndInitialSelections) {
    EXPECT_EQ(view.windowTitle(), "Velnor Control");
    EXPECT_EQ(view.size(), QSize(10230 / 15, 8805 / 15));
    EXPECT_EQ(view.minimumSize(), view.maximumSize());
    EXPECT_EQ(view.font().pixelSize(), 10);
    QStringList selected;
    for (auto* button : view.findChildren<QRadioButton*>())
        if (button->isChecked()) selected.append(button->objectName());
    selected.sort();
    EXPECT_EQ(selected, (QStringList{"optComNone", "optDTROff", "optRTSOff"}));
}

TEST_F(WindowTest, EveryOptionCaptionFitsItsButtonInOneFont) {
    const auto buttons = view.findChildren<QRadioButton*>();
    for (const QRadioButton* button : buttons) {
        EXPECT_LE(button->sizeHint().width(), button->width())
            << button->objectName().toStdString();
        EXPECT_EQ(button->font(), buttons.front()->font()) << button->objectName().toStdString();
    }
    // The largest such font: one pixel more and some caption would not fit.
    QFont larger = buttons.front()->font();
    if (larger.pixelSize() == view.font().pixelSize()) return;
    larger.setPixelSize(larger.pixelSize() + 1);
    EXPECT_TRUE(std::ranges::any_of(buttons, [&](const QRadioButton* button) {
        QRadioButton probe(button->text());
        probe.setFont(larger);
        return probe.sizeHint().width() > button->width();
    }));
}

// The rectangle of `box` painted in anything but the window's colour.
QRect paintedPart(QGroupBox& box) {
    const QImage image = box.grab().toImage();
    const QRgb background = box.palette().window().color().rgb();
    QRect painted;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background) painted |= QRect(x, y, 1, 1);
    return painted;
}

// Fusion paints a frame from an image, and the first image read makes Qt load every image-format
// plugin: the window paints its frames without one, where Fusion's would stand.
TEST_F(WindowTest, FramesStandWhereTheStylesWouldWithoutLoadingAnImagePlugin) {
    view.grab();
    QFile maps("/proc/self/maps");
    ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
    EXPECT_FALSE(maps.readAll().contains("/imageformats/"));

    QObject owner;
    QStyle* frames = FrameStyle::forFrames(&owner);
    ASSERT_NE(frames, nullptr) << "the tests run with Fusion";
    for (const QString title : {"DSR Input Signal", ""}) {
        SCOPED_TRACE(title.toStdString());
        QGroupBox ours(title), fusions(title);
        ours.setStyle(frames);
        for (QGroupBox* box : {&ours, &fusions}) {
            box->setFont(view.font());
            box->resize(329, 137);
        }
        EXPECT_EQ(paintedPart(ours), paintedPart(fusions));
    }
}

TEST_F(ViewTest, IndicatorsStartDarkAndShowAnyStoredColour) {
    for (Indicator* box : {&form.boxDSR, &form.boxCTS, &form.boxCD, &form.boxRI}) {
        auto* shown = widget<IndicatorBox>(*box);
        EXPECT_EQ(shown->fillColor(), kIndicatorOff);
        for (const test::IndicatorColour& colour : test::kIndicatorColours) {
            box->setFillColor(colour.stored);
            EXPECT_EQ(shown->fillColor(), colour.stored);
            const QImage image = shown->grab().toImage();
            EXPECT_EQ(image.pixelColor(image.width() / 2, image.height() / 2),
                      QColor(colour.red, colour.green, colour.blue));
        }
    }
}

TEST_F(ViewTest, WidgetsFollowEveryChangeOfTheirControls) {
    form.Form_Load();
    auto* sendKeys = widget<QLineEdit>(form.txtDSRSendKeys);
    EXPECT_EQ(sendKeys->text(), "%{TAB}");
    form.txtDSRSendKeys.setText(u"abc");
    EXPECT_EQ(sendKeys->text(), "abc");

    // Filling a list selects none of its entries.
    auto* lookup = widget<QComboBox>(form.cboKeyLookup);
    EXPECT_EQ(lookup->count(), form.cboKeyLookup.listCount());
    EXPECT_EQ(lookup->currentIndex(), -1);
    EXPECT_EQ(lookup->currentText(), "Combo1");

    auto* keys = widget<QComboBox>(form.cboCTSEmulateKey);
    EXPECT_EQ(keys->count(), form.cboCTSEmulateKey.listCount());
    EXPECT_EQ(keys->currentIndex(), form.cboCTSEmulateKey.listIndex());
    EXPECT_EQ(keys->itemData(keys->currentIndex()).toInt(), 18);
    EXPECT_EQ(keys->currentText(), toQString(form.cboCTSEmulateKey.text()));
    form.cboCTSEmulateKey.setText(u"typed by code");
    EXPECT_EQ(keys->currentIndex(), -1);
    EXPECT_EQ(keys->currentText(), "typed by code");
    form.cboCTSEmulateKey.setListIndex(3);
    EXPECT_EQ(keys->currentIndex(), 3);
    EXPECT_EQ(keys->currentText(), toQString(form.cboCTSEmulateKey.entries()[3].text));

    EXPECT_TRUE(widget<QRadioButton>(form.optCDEmulateKey)->isChecked());
    form.optCDSendKeys.setValue(true);
    EXPECT_TRUE(widget<QRadioButton>(form.optCDSendKeys)->isChecked());
    EXPECT_FALSE(widget<QRadioButton>(form.optCDEmulateKey)->isChecked());
    // A frame may be left with no button selected.
    form.optCDSendKeys.setValue(false);
    EXPECT_FALSE(widget<QRadioButton>(form.optCDSendKeys)->isChecked());

    form.RingOn();
    EXPECT_TRUE(widget<QLabel>(form.RITimeStamp)->text().startsWith("B "));
    EXPECT_EQ(widget<IndicatorBox>(form.boxRI)->fillColor(), kIndicatorOn);

    form.LogEvent(u"a line");
    EXPECT_EQ(widget<LogLabel>(form.EventLog)->text(), toQString(form.EventLog.caption()));

    form.lines[1].setInverted(true);
    EXPECT_EQ(widget<QGroupBox>(form.frameCTS)->toolTip(),
              "CTS: every edge acts, inverted polarity. Right-click to change.");

    EXPECT_FALSE(view.isMinimized());
    form.ProcessArguments(u"-minimize");
    EXPECT_TRUE(view.windowState() & Qt::WindowMinimized);
}

// Code and the user change a control through the same setters, so the control's event runs either
// way; what the view writes while following the model goes nowhere.
TEST_F(ViewTest, TheUsersInputReachesTheModelAndRaisesItsEvents) {
    form.Form_Load();
    const QStringList loaded = logMessages(form);
    LinuxForm unseen(input, "");
    unseen.Form_Load();
    EXPECT_EQ(loaded, logMessages(unseen)) << "following the model logs nothing more";

    // With no port open, "On" goes back to "Off", whose click logs its own line.
    click(form.optDTROn);
    EXPECT_TRUE(form.optDTROff.value());
    EXPECT_TRUE(widget<QRadioButton>(form.optDTROff)->isChecked());
    EXPECT_FALSE(widget<QRadioButton>(form.optDTROn)->isChecked());
    EXPECT_EQ(logMessages(form).mid(loaded.size()),
              (QStringList{"optDTROn_Click", "optDTROff_Click"}));

    click(form.optDSRGenerateKeys);
    EXPECT_TRUE(form.optDSRGenerateKeys.value());
    EXPECT_FALSE(form.optDSREmulateKey.value());

    auto* generateKeys = widget<QLineEdit>(form.txtDSRGenerateKeys);
    generateKeys->clear();
    QTest::keyClicks(generateKeys, "vbKeyA+Tab");
    EXPECT_EQ(form.txtDSRGenerateKeys.text(), u"vbKeyA+Tab");
    EXPECT_EQ(form.dsrHandler.GenerateKeyCodeString(), u"65+-1+,");
    EXPECT_EQ(generateKeys->toolTip(), "No key is named \"Tab\"");

    auto* keys = widget<QComboBox>(form.cboDSREmulateKey);
    keys->setCurrentIndex(5);
    Q_EMIT keys->activated(5);
    EXPECT_EQ(form.cboDSREmulateKey.listIndex(), 5);
    keys->lineEdit()->selectAll();
    QTest::keyClicks(keys->lineEdit(), "x");
    EXPECT_EQ(form.cboDSREmulateKey.listIndex(), -1);
    EXPECT_EQ(form.cboDSREmulateKey.text(), u"x");
    EXPECT_EQ(keys->currentText(), "x");
    EXPECT_EQ(keys->count(), form.cboDSREmulateKey.listCount()) << "typed text is no entry";

    view.showMinimized();
    EXPECT_EQ(form.window.windowState(), WindowState::Minimized);
    view.showNormal();
    EXPECT_EQ(form.window.windowState(), WindowState::Normal);
}

TEST_F(ViewTest, ABoxThatCannotActAsWrittenIsOutlinedAndSaysWhy) {
    form.Form_Load();
    auto* generateKeys = widget<QLineEdit>(form.txtDSRGenerateKeys);
    auto* sendKeys = widget<QLineEdit>(form.txtCTSSendKeys);
    const QFont before = generateKeys->font();
    form.txtDSRGenerateKeys.setText(u"Tab");
    EXPECT_EQ(generateKeys->toolTip(), toQString(form.txtDSRGenerateKeys.problem()));
    EXPECT_FALSE(generateKeys->toolTip().isEmpty());
    EXPECT_FALSE(generateKeys->styleSheet().isEmpty());
    EXPECT_EQ(generateKeys->font().toString(), before.toString());
    form.txtDSRGenerateKeys.setText(u"vbKeyTab");
    EXPECT_TRUE(generateKeys->toolTip().isEmpty());
    EXPECT_TRUE(generateKeys->styleSheet().isEmpty());

    form.txtCTSSendKeys.setText(u"{LEFT");
    EXPECT_FALSE(sendKeys->toolTip().isEmpty());
    EXPECT_FALSE(sendKeys->styleSheet().isEmpty());
    form.txtCTSSendKeys.setText(u"{LEFT}");
    EXPECT_TRUE(sendKeys->toolTip().isEmpty());
    EXPECT_TRUE(sendKeys->styleSheet().isEmpty());
    // An outline that came and went leaves the box in its form's font.
    EXPECT_EQ(generateKeys->font().toString(), before.toString());
    EXPECT_EQ(sendKeys->font().toString(), before.toString());
}

// Every widget's state as one line, without the times of day.
QStringList widgetStates(QtFormView& view, MainForm& form) {
    QStringList states;
    for (const LayoutEntry& entry : layoutTable()) {
        Control& control = controlOf(form, entry);
        QWidget* widget = view.widgetOf(control);
        QString state = toQString(control.name()) + u' ' + widget->toolTip();
        if (auto* option = qobject_cast<QRadioButton*>(widget))
            state += QString(" checked=%1 font=%2")
                         .arg(option->isChecked())
                         .arg(option->font().pixelSize());
        else if (auto* list = qobject_cast<QComboBox*>(widget))
            state += QString(" %1 entries, #%2 %3")
                         .arg(list->count())
                         .arg(list->currentIndex())
                         .arg(list->currentText());
        else if (auto* box = qobject_cast<QLineEdit*>(widget))
            state += u' ' + box->text() + u' ' + box->styleSheet();
        else if (auto* indicator = qobject_cast<IndicatorBox*>(widget))
            state += QString(" colour %1").arg(indicator->fillColor());
        else if (auto* log = qobject_cast<LogLabel*>(widget))
            state += u' ' + messagesOfLog(log->text()).join(u'|');
        else if (auto* label = qobject_cast<QLabel*>(widget))  // a time of day may have passed
            state +=
                u' ' + QString(label->text()).replace(QRegularExpression("\\d+:\\d+:\\d+"), "time");
        states.append(state);
    }
    states.append(QString("window state %1").arg(view.windowState()));
    return states;
}

// The program builds its window once the form has loaded; it shows what a window that followed
// the loading shows: selections, filled lists, texts with their problems, indicators, the log, a
// minimised window.
TEST(LateView, AViewBuiltAfterTheFormHasLoadedShowsWhatOneBuiltBeforeShows) {
    const QString arguments =
        "-dsrMode=sendKeys -ctsEmulateKey=vbKeyF5 -cdGenerateKeys=vbKeyNoSuchKey "
        "-dsrSendKeys={LEFT -dtr -minimize -nonsense";
    RecordingInputSink input;
    LinuxForm early(input, arguments);
    QtFormView earlyView(early);
    early.Form_Load();
    LinuxForm late(input, arguments);
    late.Form_Load();
    QtFormView lateView(late);
    const QStringList expected = widgetStates(earlyView, early);
    EXPECT_TRUE(expected.join(u'\n').contains("vbKeyF5")) << expected.join(u'\n').toStdString();
    EXPECT_EQ(widgetStates(lateView, late), expected);
}

TEST_F(ViewTest, ClosingTheWindowUnloadsTheForm) {
    form.Form_Load();
    form.optDTROn.setValue(true);
    const qsizetype logged = logMessages(form).size();
    EXPECT_TRUE(view.close());
    EXPECT_EQ(logMessages(form).mid(logged),
              (QStringList{"optDTROff_Click", "optRTSOff_Click", "SetComPort none"}));
}

// Without a tray (offscreen here, as on a bare X server) there is no icon, and a window told to
// hide to the tray minimises as it always did rather than vanish with no way back.
TEST(TraylessView, HasNoIconAndMinimisesAsBeforeEvenWhenToldToHideToTheTray) {
    ASSERT_FALSE(QSystemTrayIcon::isSystemTrayAvailable());
    RecordingInputSink input;
    LinuxForm form(input, "-minimizeToTray -minimize");
    form.Form_Load();
    QtFormView view(form);
    view.show();
    EXPECT_EQ(view.trayIcon(), nullptr);
    EXPECT_TRUE(view.findChildren<QSystemTrayIcon*>().isEmpty());
    EXPECT_TRUE(logMessages(form).contains(
        "Hide to the tray when minimised does nothing: the desktop has no system tray"));
    QCoreApplication::processEvents();  // where a hide to the tray would be done
    EXPECT_TRUE(view.isVisible());
    EXPECT_TRUE(view.isMinimized());
    form.showWindow();
    EXPECT_FALSE(view.isMinimized());
}

// The action `text` of the submenu `submenu`.
// An entry's text as the menu shows it: "&&" is an '&'; a single '&' marks the next character as
// the access key and is not shown.
std::u16string shownText(const QString& text) {
    std::u16string shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) ++i;
        shown += text[i].unicode();
    }
    return shown;
}

// A Qt menu written as the core writes its model (support/menu_text.h).
void readBack(const QMenu& menu, int depth, std::vector<std::u16string>& lines) {
    for (const QAction* action : menu.actions()) {
        const MenuEntry::Kind kind = action->isSeparator() ? MenuEntry::Kind::Separator
                                     : action->menu()      ? MenuEntry::Kind::Submenu
                                                           : MenuEntry::Kind::Action;
        const MenuEntry::Mark mark = !action->isCheckable() ? MenuEntry::Mark::None
                                     : action->actionGroup() && action->actionGroup()->isExclusive()
                                         ? MenuEntry::Mark::Radio
                                         : MenuEntry::Mark::Check;
        lines.push_back(test::menuLine(depth, kind, shownText(action->text()), mark,
                                       action->isChecked(), action->isEnabled()));
        if (action->menu()) readBack(*action->menu(), depth + 1, lines);
    }
}

std::vector<std::u16string> menuText(const QMenu& menu) {
    std::vector<std::u16string> lines;
    readBack(menu, 0, lines);
    return lines;
}

// The action at `path` of titles, submenus first.
QAction* menuAction(const QMenu& menu, const QStringList& path) {
    const QMenu* level = &menu;
    QAction* found = nullptr;
    for (const QString& title : path) {
        if (!level) return nullptr;
        found = nullptr;
        for (QAction* action : level->actions())
            if (action->text() == title) found = action;
        if (!found) return nullptr;
        level = found->menu();
    }
    return found;
}

// Answers the dialog that the next menu entry opens, once it is shown.
void answerDialog(const QString& answer) {
    QTimer::singleShot(0, [answer] {
        auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        if (dialog->inputMode() == QInputDialog::IntInput)
            dialog->setIntValue(answer.toInt());
        else
            dialog->setTextValue(answer);
        dialog->accept();
    });
}

// The frames the form gives a menu carry it, entry for entry as the form describes it, and hand
// back the entry chosen: a setting, one asking for a number, one asking for a text.
TEST_F(WindowTest, ContextMenusShowTheFormsMenusAndActOnThem) {
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    input.offered = {MenuEntry::submenu(u"R&D layouts", {{.text = u"Q & A"}})};
    for (const LayoutEntry& entry : layoutTable()) {
        const Control& control = controlOf(form, entry);
        if (control.kind() != ControlKind::Frame) continue;
        const auto& frame = static_cast<const Frame&>(control);
        SCOPED_TRACE(QString::fromStdU16String(frame.name()).toStdString());
        const auto menu = view.contextMenu(frame);
        const Menu model = form.menuOf(frame);
        EXPECT_EQ(widget<QGroupBox>(frame)->contextMenuPolicy() == Qt::CustomContextMenu,
                  !model.empty());
        if (model.empty()) {
            EXPECT_EQ(menu, nullptr);
            continue;
        }
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menuText(*menu), test::menuText(model));
    }

    menuAction(*view.contextMenu(form.frameCD), {"Settle time", "30 ms"})->trigger();
    EXPECT_EQ(form.lines[2].filter().settleTime().count(), 30);
    answerDialog("250");
    menuAction(*view.contextMenu(form.frameCD), {"Settle time", "Other..."})->trigger();
    EXPECT_EQ(form.lines[2].filter().settleTime().count(), 250);
    answerDialog("/dev/ttyUSB9");
    menuAction(*view.contextMenu(form.Port), {"COM3: /dev/ttyS2 (not present)", "Other device..."})
        ->trigger();
    EXPECT_EQ(comPortDevice(3), u"/dev/ttyUSB9");
    qunsetenv("XDG_CONFIG_HOME");
}

// The "Port" frame's menu on Linux: which device each COM button stands for, kept per user in
// ports.ini; the present configuration as a command line, and at login as an autostart entry.
TEST_F(WindowTest, PortMenuAssignsDevicesAndStartsTheConfigurationAtLogin) {
    const QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qunsetenv("VELNOR_COM2");
    form.Form_Load();
    const auto chooseForCom2 = [this](const QString& choice) {
        const auto menu = view.contextMenu(form.Port);
        for (const QAction* entry : menu->actions())
            if (entry->menu() && entry->text().startsWith("COM2: "))
                menuAction(*entry->menu(), {choice})->trigger();
    };
    chooseForCom2("Loopback plug (no hardware)");
    EXPECT_TRUE(QFile::exists(config.path() + "/velnor/ports.ini"));
    EXPECT_EQ(logMessages(form).last(), "COM2 now stands for loopback");
    EXPECT_EQ(widget<QRadioButton>(form.optCom2)->toolTip(),
              "COM2: the built-in loopback plug. Right-click to choose its device.");
    form.ProcessArguments(u"-port=com2 -dtr -dsrSendKeys%=a%20b");
    EXPECT_EQ(form.MSComm1.device(), u"loopback");

    // Copied for a shell: the text with a space is one word.
    menuAction(*view.contextMenu(form.Port), {"Copy command line"})->trigger();
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith(QCoreApplication::applicationFilePath()));
    EXPECT_TRUE(copied.contains(" -port=com2 -dtr ")) << copied.toStdString();
    EXPECT_TRUE(copied.contains(" -dsrSendKeys%=a%20b")) << copied.toStdString();

    menuAction(*view.contextMenu(form.Port), {"Start at login with these settings"})->trigger();
    const auto command = xdg::readEntry(xdg::entryFile(xdg::Entry::Autostart));
    ASSERT_TRUE(command);
    ASSERT_GE(command->size(), 3u);
    EXPECT_EQ((*command)[1], "-minimize");
    QStringList arguments;
    for (size_t i = 2; i < command->size(); ++i)
        arguments.append(QString::fromStdString((*command)[i]));
    NullInputSink sink;
    LinuxForm started(sink, arguments.join(u' '));
    started.Form_Load();
    EXPECT_EQ(started.commandLine(), form.commandLine())
        << "the entry brings back this configuration";
    EXPECT_EQ(started.txtDSRSendKeys.text(), u"a b");
    int cancel = 0;
    started.Form_Unload(cancel);

    const auto menu = view.contextMenu(form.Port);
    QAction* login = menuAction(*menu, {"Start at login with these settings"});
    EXPECT_TRUE(login->isChecked());
    login->trigger();
    EXPECT_FALSE(std::filesystem::exists(xdg::entryFile(xdg::Entry::Autostart)));
    chooseForCom2("Default (/dev/ttyS1)");
    EXPECT_EQ(comPortDevice(2), u"/dev/ttyS1");

    // A device that VELNOR_COMn names goes with the copied line and with the entry.
    qputenv("VELNOR_COM2", "/dev/my adapter");
    menuAction(*view.contextMenu(form.Port), {"Copy command line"})->trigger();
    EXPECT_TRUE(QApplication::clipboard()->text().startsWith(
        "VELNOR_COM2='/dev/my adapter' " + QCoreApplication::applicationFilePath() + " "))
        << QApplication::clipboard()->text().toStdString();
    menuAction(*view.contextMenu(form.Port), {"Start at login with these settings"})->trigger();
    const auto withDevice = xdg::readEntry(xdg::entryFile(xdg::Entry::Autostart));
    ASSERT_TRUE(withDevice && withDevice->size() >= 3);
    EXPECT_EQ(std::vector(withDevice->begin(), withDevice->begin() + 3),
              (std::vector<std::string>{"env", "VELNOR_COM2=/dev/my adapter",
                                        QCoreApplication::applicationFilePath().toStdString()}));
    qunsetenv("VELNOR_COM2");
    qunsetenv("XDG_CONFIG_HOME");
}

// "Keep these settings" on Linux writes the user's own menu entry, not the autostart one, with
// the settings as they are; "Forget kept settings" takes it away again.
TEST_F(WindowTest, PortMenuKeepsTheConfigurationInTheUsersMenuEntryAndForgetsIt) {
    const QTemporaryDir data;
    const ScopedEnv dataHome("XDG_DATA_HOME", data.path().toLocal8Bit());
    const ScopedEnv device("VELNOR_COM2", nullptr);
    form.Form_Load();
    form.ProcessArguments(u"-dsrMode=sendKeys -dsrSendKeys%=a%20b");
    const std::filesystem::path file =
        data.path().toStdString() + "/applications/org.velnor.Velnor.desktop";
    ASSERT_EQ(xdg::entryFile(xdg::Entry::Applications), file);

    menuAction(*view.contextMenu(form.Port), {"Keep these settings"})->trigger();
    const auto command = xdg::readEntry(file);
    ASSERT_TRUE(command);
    QStringList words;
    for (const std::string& word : *command) words.append(QString::fromStdString(word));
    EXPECT_EQ(words.join(u' '), QCoreApplication::applicationFilePath() + " " +
                                    QString::fromStdU16String(form.commandLine()));
    EXPECT_EQ(logMessages(form).last(), "The desktop's menu starts Velnor with these settings (" +
                                            QString::fromStdString(file.string()) + ")");

    menuAction(*view.contextMenu(form.Port), {"Forget kept settings"})->trigger();
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(menuAction(*view.contextMenu(form.Port), {"Forget kept settings"}), nullptr);
}

}  // namespace
}  // namespace velnor
