#include "signal_actions/signal_handler.h"

#include <QMessageBox>
#include <utility>

#include "core/input_events.h"
#include "core/send_keys.h"
#include "platform/qt_text.h"
#include "platform/widgets.h"

namespace velnor {
namespace {

// The key code of the list's selected entry; nothing when no entry is selected.
std::optional<int16_t> selectedKey(const QComboBox& list) {
    const int selected = list.currentIndex();
    if (selected < 0) return std::nullopt;
    return static_cast<int16_t>(itemDatum(list, selected));
}

}  // namespace

SignalHandler::SignalHandler(InputSink& input) : input_(input) {}

void SignalHandler::test() {
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Velnor"),
                    QStringLiteral("this is a class"), QMessageBox::Ok);
    box.exec();
}

void SignalHandler::SignalOn() {
    box_->setFillColor(kIndicatorOn);
    flag_ = true;
    if (optEmulateKey_->isChecked()) {
        if (const auto key = selectedKey(*cboEmulateKey_)) {
            InputEvents::KeyDown(input_, *key);
            pressed_ = key;
        }
    } else if (optSendKeys_->isChecked()) {
        // A string that cannot be typed types nothing; the text box already shows why.
        SendKeys(input_, u16View(txtSendKeys_->text()));
    } else if (optGenerateKeys_->isChecked() && generateKeys_) {
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
