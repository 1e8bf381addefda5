// The handler's side of key code strings: its Generate Keys text parsed through the hidden list.

#include "core/key_code_strings.h"

#include "key_names/key_names.h"
#include "platform/qt_text.h"
#include "signal_actions/signal_handler.h"

namespace velnor {

void SignalHandler::ParseGenerateKeys() {
    generateKeys_ = ParseKeyCodes(txtGenerateKeys_->text());
}

std::optional<KeyCodeTable> SignalHandler::ParseKeyCodes(const QString& text) {
    const QComboBox& lookup = *cboKeyLookup_;
    return parseKeyCodeString(
        u16View(text), [&lookup](std::u16string_view name) { return keyCodeByName(lookup, name); });
}

QString SignalHandler::GenerateKeyCodeString() const {
    return toQString(velnor::GenerateKeyCodeString(generateKeys_));
}

}  // namespace velnor
