#include "core/signal_line.h"

#include "core/key_code_strings.h"
#include "core/key_names.h"
#include "core/send_keys.h"
#include "core/serial_control.h"
#include "core/text.h"

namespace velnor {

SignalLine::SignalLine(const InputLine& row, Wiring wiring)
    : row_(row),
      controls_(wiring.controls),
      announce_(std::move(wiring.announce)),
      handler_({.box = controls_.*row.box,
                .optEmulateKey = controls_.*row.optEmulateKey,
                .cboEmulateKey = controls_.*row.cboEmulateKey,
                .optSendKeys = controls_.*row.optSendKeys,
                .txtSendKeys = controls_.*row.txtSendKeys,
                .optGenerateKeys = controls_.*row.optGenerateKeys,
                .txtGenerateKeys = controls_.*row.txtGenerateKeys,
                .cboKeyLookup = controls_.cboKeyLookup},
               wiring.input, std::move(wiring.messageBox)),
      filter_({.level = [&port = wiring.port, &row] { return port.levels().*row.level; },
               .portSettleTime = [&port = wiring.port] { return port.settleTime(); },
               .flag = [this] { return handler_.flag(); },
               .on =
                   [this] {
                       handler_.SignalOn();
                       announce_(row_.name, true);
                   },
               .foundOn =
                   [this] {
                       handler_.SignalFoundOn();
                       announce_(row_.name, true);
                   },
               .off =
                   [this] {
                       handler_.SignalOff();
                       announce_(row_.name, false);
                   }},
              wiring.loop) {
    (controls_.*row_.txtGenerateKeys).Change = [this] { txtGenerateKeys_Change(); };
    (controls_.*row_.txtSendKeys).Change = [this] { txtSendKeys_Change(); };
    showSettings();
}

void SignalLine::loadDefaults() {
    (controls_.*row_.optEmulateKey).setValue(true);
    DropDownList& keys = controls_.*row_.cboEmulateKey;
    FillKeyList(keys);
    SelectKeyByName(keys, row_.defaultKey);
    (controls_.*row_.txtSendKeys).setText(std::u16string(row_.defaultSendKeys));
    if (row_.defaultGenerateKeys.empty()) return;
    if (controls_.cboKeyLookup.listCount() == 0) FillKeyList(controls_.cboKeyLookup);
    (controls_.*row_.txtGenerateKeys).setText(std::u16string(row_.defaultGenerateKeys));
}

void SignalLine::setSettleTime(LineFilter::Duration settle) {
    filter_.setSettleTime(settle);
    showSettings();
}

void SignalLine::setInverted(bool inverted) {
    filter_.setInverted(inverted);
    showSettings();
}

void SignalLine::showSettings() {
    const auto settle = static_cast<int>(filter_.settleTime().count());
    std::u16string hint(row_.name);
    hint += settle == 0 ? u": every edge acts" : u": settle time " + toU16(settle) + u" ms";
    hint += filter_.inverted() ? u", inverted polarity." : u", normal polarity.";
    hint += u" Right-click to change.";
    frame().setToolTip(std::move(hint));
}

void SignalLine::txtGenerateKeys_Change() {
    handler_.ParseGenerateKeys();
    TextBox& text = controls_.*row_.txtGenerateKeys;
    text.setProblem(keyCodeStringProblem(text.text(), handler_.generateKeys()));
}

void SignalLine::txtSendKeys_Change() {
    TextBox& text = controls_.*row_.txtSendKeys;
    const auto error = checkSendKeys(text.text());
    text.setProblem(error ? u"Cannot be typed: " + error->message + u" (at character " +
                                toU16(static_cast<int>(error->position) + 1) + u")"
                          : std::u16string());
}

}  // namespace velnor
