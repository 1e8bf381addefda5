// The window's static content: every control with its name, container, caption and geometry.

#include <algorithm>

#include "main_window/head_label.h"
#include "main_window/main_form.h"
#include "platform/widgets.h"

namespace velnor {
namespace {

constexpr int kTwipsPerPixel = 15;
constexpr int kSmallestPixelSize = 7;

// Creates a control of type W named `name` in `container` at a geometry given in twips.
template <class W>
W* place(QWidget* container, const char* name, int left, int top, int width, int height) {
    auto* control = new W(container);
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
                         height / kTwipsPerPixel);
    return control;
}

template <class W>
W* placeCaptioned(QWidget* container, const char* name, const QString& caption, int left, int top,
                  int width, int height) {
    auto* control = place<W>(container, name, left, top, width, height);
    if constexpr (std::is_same_v<W, QGroupBox>)
        control->setTitle(caption);
    else
        control->setText(caption);
    return control;
}

template <class Label = QLabel>
Label* placeLabel(QWidget* container, const char* name, const QString& caption, int left, int top,
                  int width, int height) {
    auto* label = placeCaptioned<Label>(container, name, caption, left, top, width, height);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    return label;
}

QComboBox* placeList(QWidget* container, const char* name, const QString& text, int left, int top,
                     int width, int height) {
    auto* list = place<QComboBox>(container, name, left, top, width, height);
    makeDropDownList(*list);
    list->setEditText(text);
    list->lineEdit()->setCursorPosition(0);
    return list;
}

// Option buttons share one font: the form's, or the largest smaller one at which every caption
// fits its twip width, which the style's indicator and spacing may not leave room for.
void fitOptionCaptions(QWidget& form) {
    const QList<QRadioButton*> buttons = form.findChildren<QRadioButton*>();
    const auto allFit = [&buttons] {
        return std::ranges::all_of(
            buttons, [](const QRadioButton* b) { return b->sizeHint().width() <= b->width(); });
    };
    QFont font = form.font();
    while (!allFit() && font.pixelSize() > kSmallestPixelSize) {
        font.setPixelSize(font.pixelSize() - 1);
        for (QRadioButton* button : buttons) button->setFont(font);
    }
}

}  // namespace

void MainForm::buildLayout() {
    setWindowTitle(QStringLiteral("Velnor Control"));
    setGeometry(60 / kTwipsPerPixel, 345 / kTwipsPerPixel, 10230 / kTwipsPerPixel,
                8805 / kTwipsPerPixel);
    setFixedSize(size());
    // The geometry is laid out for a small dialog font, about 8 points at 96 dots per inch.
    QFont small = font();
    small.setPixelSize(10);
    setFont(small);

    Frame1 = placeCaptioned<QGroupBox>(this, "Frame1", "Event Log", 5400, 120, 4695, 7215);
    txtGenerateKeyCodes = place<QLineEdit>(Frame1, "txtGenerateKeyCodes", 120, 6720, 3375, 285);
    txtCommandLine =
        placeCaptioned<QLineEdit>(Frame1, "txtCommandLine", "Text1", 120, 6360, 3255, 285);
    EventLog = placeLabel<HeadLabel>(Frame1, "EventLog", "EventLog", 240, 360, 4215, 5775);

    frameCD = placeCaptioned<QGroupBox>(this, "frameCD", "CD Input Signal", 120, 6600, 4935, 2055);
    txtCDGenerateKeys = place<QLineEdit>(frameCD, "txtCDGenerateKeys", 960, 1560, 3855, 315);
    optCDGenerateKeys = placeCaptioned<QRadioButton>(frameCD, "optCDGenerateKeys", "Generate Keys",
                                                     960, 1200, 2655, 255);
    txtCDSendKeys = place<QLineEdit>(frameCD, "txtCDSendKeys", 2880, 720, 1815, 315);
    optCDSendKeys =
        placeCaptioned<QRadioButton>(frameCD, "optCDSendKeys", "SendKeys", 2880, 360, 1335, 255);
    optCDEmulateKey = placeCaptioned<QRadioButton>(frameCD, "optCDEmulateKey", "Emulate a key", 960,
                                                   360, 1335, 255);
    cboCDEmulateKey = placeList(frameCD, "cboCDEmulateKey", "CDEmulateKey", 960, 720, 1695, 315);
    boxCD = place<Indicator>(frameCD, "boxCD", 240, 480, 375, 375);

    frameCTS =
        placeCaptioned<QGroupBox>(this, "frameCTS", "CTS Input Signal", 120, 4440, 4935, 2055);
    optCTSGenerateKeys = placeCaptioned<QRadioButton>(frameCTS, "optCTSGenerateKeys",
                                                      "Generate Keys", 960, 1200, 2655, 255);
    txtCTSGenerateKeys = place<QLineEdit>(frameCTS, "txtCTSGenerateKeys", 960, 1560, 3855, 315);
    cboCTSEmulateKey =
        placeList(frameCTS, "cboCTSEmulateKey", "CTSEmulateKey", 960, 720, 1695, 315);
    optCTSEmulateKey = placeCaptioned<QRadioButton>(frameCTS, "optCTSEmulateKey", "Emulate a key",
                                                    960, 360, 1335, 255);
    optCTSSendKeys =
        placeCaptioned<QRadioButton>(frameCTS, "optCTSSendKeys", "SendKeys", 2880, 360, 1335, 255);
    txtCTSSendKeys = place<QLineEdit>(frameCTS, "txtCTSSendKeys", 2880, 720, 1815, 315);
    boxCTS = place<Indicator>(frameCTS, "boxCTS", 240, 480, 375, 375);

    frameDSR =
        placeCaptioned<QGroupBox>(this, "frameDSR", "DSR Input Signal", 120, 2280, 4935, 2055);
    cboKeyLookup = placeList(frameDSR, "cboKeyLookup", "Combo1", 120, 1560, 735, 315);
    txtDSRGenerateKeys = place<QLineEdit>(frameDSR, "txtDSRGenerateKeys", 960, 1560, 3855, 315);
    optDSRGenerateKeys = placeCaptioned<QRadioButton>(frameDSR, "optDSRGenerateKeys",
                                                      "Generate Keys", 960, 1200, 2655, 255);
    txtDSRSendKeys = place<QLineEdit>(frameDSR, "txtDSRSendKeys", 2880, 720, 1815, 315);
    optDSRSendKeys =
        placeCaptioned<QRadioButton>(frameDSR, "optDSRSendKeys", "SendKeys", 2880, 360, 1335, 255);
    optDSREmulateKey = placeCaptioned<QRadioButton>(frameDSR, "optDSREmulateKey", "Emulate a key",
                                                    960, 360, 1335, 255);
    cboDSREmulateKey =
        placeList(frameDSR, "cboDSREmulateKey", "DSREmulateKey", 960, 720, 1695, 315);
    boxDSR = place<Indicator>(frameDSR, "boxDSR", 240, 480, 375, 375);

    frameRI = placeCaptioned<QGroupBox>(this, "frameRI", "RI Input Signal", 5400, 7680, 4695, 975);
    RITimeStamp =
        placeLabel(frameRI, "RITimeStamp", "RI Mode Indicator Field", 720, 480, 2415, 255);
    boxRI = place<Indicator>(frameRI, "boxRI", 240, 360, 375, 375);

    RTS = placeCaptioned<QGroupBox>(this, "RTS", "RTS Output Signal", 3000, 1200, 2055, 735);
    optRTSOn = placeCaptioned<QRadioButton>(RTS, "optRTSOn", "On", 1200, 240, 615, 375);
    optRTSOff = placeCaptioned<QRadioButton>(RTS, "optRTSOff", "Off", 240, 240, 615, 375);

    Port = placeCaptioned<QGroupBox>(this, "Port", "Port", 120, 120, 4935, 855);
    optComNone = placeCaptioned<QRadioButton>(Port, "optComNone", "None", 240, 360, 855, 255);
    optCom4 = placeCaptioned<QRadioButton>(Port, "optCom4", "Com 4", 3960, 360, 855, 255);
    optCom3 = placeCaptioned<QRadioButton>(Port, "optCom3", "Com 3", 3000, 360, 855, 255);
    optCom2 = placeCaptioned<QRadioButton>(Port, "optCom2", "Com 2", 2040, 360, 855, 255);
    optCom1 = placeCaptioned<QRadioButton>(Port, "optCom1", "Com 1", 1080, 360, 855, 255);

    DTR = placeCaptioned<QGroupBox>(this, "DTR", "DTR Output Signal", 120, 1200, 2055, 735);
    optDTROff = placeCaptioned<QRadioButton>(DTR, "optDTROff", "Off", 240, 240, 615, 375);
    optDTROn = placeCaptioned<QRadioButton>(DTR, "optDTROn", "On", 1200, 240, 615, 375);

    optComNone->setChecked(true);
    optDTROff->setChecked(true);
    optRTSOff->setChecked(true);

    fitOptionCaptions(*this);

    // Helpers of the program, not meant for the user.
    txtCommandLine->setVisible(false);
    txtGenerateKeyCodes->setVisible(false);
    cboKeyLookup->setVisible(false);
}

}  // namespace velnor
