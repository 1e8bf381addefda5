#include "core/signal_handler.h"

#include <utility>

#include "core/input_events.h"
#include "core/key_names.h"
#include "core/send_keys.h"

namespace velnor {
namespace {

// The key code of the list's selected entry; nothing when no entry is selected.
std::optional<int16_t> selectedKey(const DropDownList& list) {
    const int selected = list.listIndex();
    if (selected < 0) return std::nullopt;
    return static_cast<int16_t>(list.itemData(selected));
}

}  // namespace

SignalHandler::SignalHandler(const Controls& controls, InputSink& input,
                             std::function<void(const std::u16string&)> messageBox)
    : box_(&controls.box),
      optEmulateKey_(&controls.optEmulateKey),
      cboEmulateKey_(&controls.cboEmulateKey),
      optSendKeys_(&controls.optSendKeys),
      txtSendKeys_(&controls.txtSendKeys),
      optGenerateKeys_(&controls.optGenerateKeys),
      txtGenerateKeys_(&controls.txtGenerateKeys),
      cboKeyLookup_(&controls.cboKeyLookup),
      input_(input),
      messageBox_(std::move(messageBox)) {}

void SignalHandler::test() {
    if (messageBox_) messageBox_(u"this is a class");
}

void SignalHandler::ParseGenerateKeys() {
    generateKeys_ = ParseKeyCodes(txtGenerateKeys_->text());
}

std::optional<KeyCodeTable> SignalHandler::ParseKeyCodes(std::u16string_view text) {
    const DropDownList& lookup = *cboKeyLookup_;
    return parseKeyCodeString(
        text, [&lookup](std::u16string_view name) { return keyCodeByName(lookup, name); });
}

std::u16string SignalHandler::GenerateKeyCodeString() const {
    return velnor::GenerateKeyCodeString(generateKeys_);
}

void SignalHandler::SignalOn() {
    turnOn(true);
}

void SignalHandler::SignalFoundOn() {
    turnOn(false);
}

void SignalHandler::turnOn(bool play) {
    box_->setFillColor(kIndicatorOn);
    flag_ = true;
    if (optEmulateKey_->value()) {
        if (const auto key = selectedKey(*cboEmulateKey_)) {
            InputEvents::KeyDown(input_, *key);
            pressed_ = key;
        }
    } else if (!play) {
        return;
    } else if (optSendKeys_->value()) {
        // A string that cannot be typed types nothing; the text box already shows why.
        SendKeys(input_, txtSendKeys_->text());
    } else if (optGenerateKeys_->value() && generateKeys_) {
        for (const auto& step : *generateKeys_) {
            for (const int code : step)
                if (code > 0) InputEvents::KeyDown(input_, static_cast<int16_t>(code));
            for (auto code = step.rbegin(); code != step.rend(); ++code)
                if (*code > 0) InputEvents::KeyUp(input_, static_cast<int16_t>(*code));
        }
    }
}

void SignalHandler::SignalOff() {
    box_->setFillColor(kIndicatorOff);
    flag_ = false;
    // Exactly the key pressed when the line came on: the mode or the selection may have changed
    // since, and the key would otherwise stay down.
    if (const auto key = std::exchange(pressed_, std::nullopt)) InputEvents::KeyUp(input_, *key);
}

}  // namespace velnor
