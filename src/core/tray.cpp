// The tray icon where the desktop has a tray: what it shows of the input lines, its hint and its
// menu, the same in every view. Its entries act through the window's controls, as a click does.

#include "core/main_form.h"

namespace velnor {

void MainForm::setTrayAvailable(bool available) {
    const bool toldBefore = trayAvailable_ == false;
    trayAvailable_ = available;
    if (!available && !toldBefore && minimizeToTray_) tellNoTray();
}

void MainForm::setMinimizeToTray(bool on) {
    minimizeToTray_ = on;
    if (on && trayAvailable_ == false) tellNoTray();
}

void MainForm::tellNoTray() {
    LogEvent(u"Hide to the tray when minimised does nothing: the desktop has no system tray");
}

std::array<const Indicator*, 4> MainForm::trayIndicators() const {
    return {&boxDSR, &boxCTS, &boxCD, &boxRI};
}

// "Velnor on COM1 (/dev/ttyS0): DSR, RI on"; the lines are those whose indicators are lit.
std::u16string MainForm::trayHint() const {
    std::u16string on;
    const auto indicators = trayIndicators();
    for (size_t i = 0; i < indicators.size(); ++i) {
        if (indicators[i]->fillColor() != kIndicatorOn) continue;
        if (!on.empty()) on += u", ";
        on += i < lines.size() ? lines[i].name() : u"RI";
    }
    const std::u16string port = openPortName();
    return u"Velnor" + (port.empty() ? u"" : u" on " + port) + u": " +
           (on.empty() ? u"no line on" : on + u" on");
}

Menu MainForm::trayMenu() {
    // Switching an output line is a click on its other button, refused as a click is without a
    // port.
    const auto toggle = [](std::u16string text, OptionButton& onButton, OptionButton& offButton) {
        const bool on = onButton.value();
        return MenuEntry{.text = std::move(text),
                         .mark = MenuEntry::Mark::Check,
                         .checked = on,
                         .chosen = [&onButton, &offButton, on](std::u16string_view) {
                             (on ? offButton : onButton).setValue(true);
                         }};
    };
    const bool hide = minimizeToTray_;
    return {{.text = u"Show Velnor", .chosen = [this](std::u16string_view) { showWindow(); }},
            MenuEntry::separator(),
            toggle(u"DTR on", optDTROn, optDTROff),
            toggle(u"RTS on", optRTSOn, optRTSOff),
            MenuEntry::separator(),
            {.text = u"Hide to the tray when minimised",
             .mark = MenuEntry::Mark::Check,
             .checked = hide,
             .chosen = [this, hide](std::u16string_view) { setMinimizeToTray(!hide); }},
            MenuEntry::separator(),
            {.text = u"Quit", .chosen = [this](std::u16string_view) { window.close(); }}};
}

}  // namespace velnor
