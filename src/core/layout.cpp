#include "core/layout.h"

#include <array>
#include <type_traits>

namespace velnor {
namespace {

using C = FormControls;

// L, T, W, H in twips.
constexpr std::array kLayout = {
    LayoutEntry{&C::window, u"MainForm", nullptr, u"Velnor Control", {60, 345, 10230, 8805}},
    LayoutEntry{&C::Frame1, u"Frame1", nullptr, u"Event Log", {5400, 120, 4695, 7215}},
    LayoutEntry{&C::txtGenerateKeyCodes,
                u"txtGenerateKeyCodes",
                &C::Frame1,
                u"",
                {120, 6720, 3375, 285},
                false},
    LayoutEntry{
        &C::txtCommandLine, u"txtCommandLine", &C::Frame1, u"Text1", {120, 6360, 3255, 285}, false},
    LayoutEntry{&C::EventLog, u"EventLog", &C::Frame1, u"EventLog", {240, 360, 4215, 5775}},
    LayoutEntry{&C::frameCD, u"frameCD", nullptr, u"CD Input Signal", {120, 6600, 4935, 2055}},
    LayoutEntry{
        &C::txtCDGenerateKeys, u"txtCDGenerateKeys", &C::frameCD, u"", {960, 1560, 3855, 315}},
    LayoutEntry{&C::optCDGenerateKeys,
                u"optCDGenerateKeys",
                &C::frameCD,
                u"Generate Keys",
                {960, 1200, 2655, 255}},
    LayoutEntry{&C::txtCDSendKeys, u"txtCDSendKeys", &C::frameCD, u"", {2880, 720, 1815, 315}},
    LayoutEntry{
        &C::optCDSendKeys, u"optCDSendKeys", &C::frameCD, u"SendKeys", {2880, 360, 1335, 255}},
    LayoutEntry{&C::optCDEmulateKey,
                u"optCDEmulateKey",
                &C::frameCD,
                u"Emulate a key",
                {960, 360, 1335, 255}},
    LayoutEntry{&C::cboCDEmulateKey,
                u"cboCDEmulateKey",
                &C::frameCD,
                u"CDEmulateKey",
                {960, 720, 1695, 315}},
    LayoutEntry{&C::boxCD, u"boxCD", &C::frameCD, u"", {240, 480, 375, 375}},
    LayoutEntry{&C::frameCTS, u"frameCTS", nullptr, u"CTS Input Signal", {120, 4440, 4935, 2055}},
    LayoutEntry{&C::optCTSGenerateKeys,
                u"optCTSGenerateKeys",
                &C::frameCTS,
                u"Generate Keys",
                {960, 1200, 2655, 255}},
    LayoutEntry{
        &C::txtCTSGenerateKeys, u"txtCTSGenerateKeys", &C::frameCTS, u"", {960, 1560, 3855, 315}},
    LayoutEntry{&C::cboCTSEmulateKey,
                u"cboCTSEmulateKey",
                &C::frameCTS,
                u"CTSEmulateKey",
                {960, 720, 1695, 315}},
    LayoutEntry{&C::optCTSEmulateKey,
                u"optCTSEmulateKey",
                &C::frameCTS,
                u"Emulate a key",
                {960, 360, 1335, 255}},
    LayoutEntry{
        &C::optCTSSendKeys, u"optCTSSendKeys", &C::frameCTS, u"SendKeys", {2880, 360, 1335, 255}},
    LayoutEntry{&C::txtCTSSendKeys, u"txtCTSSendKeys", &C::frameCTS, u"", {2880, 720, 1815, 315}},
    LayoutEntry{&C::boxCTS, u"boxCTS", &C::frameCTS, u"", {240, 480, 375, 375}},
    LayoutEntry{&C::frameDSR, u"frameDSR", nullptr, u"DSR Input Signal", {120, 2280, 4935, 2055}},
    LayoutEntry{
        &C::cboKeyLookup, u"cboKeyLookup", &C::frameDSR, u"Combo1", {120, 1560, 735, 315}, false},
    LayoutEntry{
        &C::txtDSRGenerateKeys, u"txtDSRGenerateKeys", &C::frameDSR, u"", {960, 1560, 3855, 315}},
    LayoutEntry{&C::optDSRGenerateKeys,
                u"optDSRGenerateKeys",
                &C::frameDSR,
                u"Generate Keys",
                {960, 1200, 2655, 255}},
    LayoutEntry{&C::txtDSRSendKeys, u"txtDSRSendKeys", &C::frameDSR, u"", {2880, 720, 1815, 315}},
    LayoutEntry{
        &C::optDSRSendKeys, u"optDSRSendKeys", &C::frameDSR, u"SendKeys", {2880, 360, 1335, 255}},
    LayoutEntry{&C::optDSREmulateKey,
                u"optDSREmulateKey",
                &C::frameDSR,
                u"Emulate a key",
                {960, 360, 1335, 255}},
    LayoutEntry{&C::cboDSREmulateKey,
                u"cboDSREmulateKey",
                &C::frameDSR,
                u"DSREmulateKey",
                {960, 720, 1695, 315}},
    LayoutEntry{&C::boxDSR, u"boxDSR", &C::frameDSR, u"", {240, 480, 375, 375}},
    LayoutEntry{&C::frameRI, u"frameRI", nullptr, u"RI Input Signal", {5400, 7680, 4695, 975}},
    LayoutEntry{&C::RITimeStamp,
                u"RITimeStamp",
                &C::frameRI,
                u"RI Mode Indicator Field",
                {720, 480, 2415, 255}},
    LayoutEntry{&C::boxRI, u"boxRI", &C::frameRI, u"", {240, 360, 375, 375}},
    LayoutEntry{&C::RTS, u"RTS", nullptr, u"RTS Output Signal", {3000, 1200, 2055, 735}},
    LayoutEntry{&C::optRTSOn, u"optRTSOn", &C::RTS, u"On", {1200, 240, 615, 375}},
    LayoutEntry{&C::optRTSOff, u"optRTSOff", &C::RTS, u"Off", {240, 240, 615, 375}, true, true},
    LayoutEntry{&C::Port, u"Port", nullptr, u"Port", {120, 120, 4935, 855}},
    LayoutEntry{&C::optComNone, u"optComNone", &C::Port, u"None", {240, 360, 855, 255}, true, true},
    LayoutEntry{&C::optCom4, u"optCom4", &C::Port, u"Com 4", {3960, 360, 855, 255}},
    LayoutEntry{&C::optCom3, u"optCom3", &C::Port, u"Com 3", {3000, 360, 855, 255}},
    LayoutEntry{&C::optCom2, u"optCom2", &C::Port, u"Com 2", {2040, 360, 855, 255}},
    LayoutEntry{&C::optCom1, u"optCom1", &C::Port, u"Com 1", {1080, 360, 855, 255}},
    LayoutEntry{&C::DTR, u"DTR", nullptr, u"DTR Output Signal", {120, 1200, 2055, 735}},
    LayoutEntry{&C::optDTROff, u"optDTROff", &C::DTR, u"Off", {240, 240, 615, 375}, true, true},
    LayoutEntry{&C::optDTROn, u"optDTROn", &C::DTR, u"On", {1200, 240, 615, 375}},
};

// The initial text of the kinds that show one; the others keep their caption as placed.
void showInitialText(Control&) {}
void showInitialText(TextBox& text) {
    text.setText(text.initialCaption());
}
void showInitialText(DropDownList& list) {
    list.setText(list.initialCaption());
}
void showInitialText(Label& label) {
    label.setCaption(label.initialCaption());
}

}  // namespace

std::span<const LayoutEntry> layoutTable() {
    return kLayout;
}

Control& controlOf(FormControls& controls, const LayoutEntry& entry) {
    return std::visit([&controls](auto member) -> Control& { return controls.*member; },
                      entry.member);
}

FormControls::FormControls() {
    for (const LayoutEntry& entry : kLayout) {
        Frame* container = entry.container ? &(this->*entry.container) : nullptr;
        std::visit(
            [&](auto member) {
                auto& control = this->*member;
                control.place(std::u16string(entry.name), container, std::u16string(entry.caption),
                              entry.geometry, entry.visible);
                showInitialText(control);
                if constexpr (std::is_same_v<std::remove_cvref_t<decltype(control)>,
                                             OptionButton>) {
                    if (container) container->addOptionButton(control);
                    if (entry.selected) control.setValue(true);
                }
            },
            entry.member);
    }
}

void FormControls::setObserver(ControlObserver* observer) {
    forEachControl(*this, [observer](Control& control) { control.setObserver(observer); });
}

}  // namespace velnor
