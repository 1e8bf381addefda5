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
                             std::function<void(const std::u16string&)> messageBox, EventLoop& time)
    : box_(&controls.box),
      optEmulateKey_(&controls.optEmulateKey),
      cboEmulateKey_(&controls.cboEmulateKey),
      optSendKeys_(&controls.optSendKeys),
      txtSendKeys_(&controls.txtSendKeys),
      optGenerateKeys_(&controls.optGenerateKeys),
      txtGenerateKeys_(&controls.txtGenerateKeys),
      cboKeyLookup_(&controls.cboKeyLookup),
      input_(input),
      messageBox_(std::move(messageBox)),
      time_(time),
      repeatTimer_(time.createTimer([this] { repeatDue(); })),
      longPressTimer_(time.createTimer([this] { longPressDue(); })) {}

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
    if (!play) {
        // Found on: a held key follows the line, but nothing was pressed to toggle or time.
        if (optEmulateKey_->value() && !extras_.latch) pressed_ = emulatedKey();
        if (pressed_) InputEvents::KeyDown(input_, *pressed_);
        return;
    }
    if (extras_.longPress) {
        longPressPending_ = true;
        longPressTimer_->start(extras_.longPress->threshold);
        return;
    }
    act(false);
}

std::optional<int16_t> SignalHandler::emulatedKey() const {
    if (extras_.otherKey) return static_cast<int16_t>(extras_.otherKey);
    return selectedKey(*cboEmulateKey_);
}

void SignalHandler::act(bool tap) {
    if (!optEmulateKey_->value()) {
        play();
        if (!tap && extras_.repeat) {
            repeatDue_ = time_.now() + extras_.repeat->delay;
            repeatTimer_->start(extras_.repeat->delay);
        }
        return;
    }
    const auto key = emulatedKey();
    if (extras_.latch) {
        if (latched_)
            releaseLatched();
        else if (key)
            InputEvents::KeyDown(input_, *(latched_ = key));
        return;
    }
    if (!key) return;
    InputEvents::KeyDown(input_, *key);
    if (tap)
        InputEvents::KeyUp(input_, *key);
    else
        pressed_ = key;
}

void SignalHandler::play() {
    if (optSendKeys_->value()) {
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

// A play never overlaps the one before: while the sink still has events of it to send, the beat
// is skipped. The beats keep to their times however late each one fires; a beat missed
// altogether is not made up.
void SignalHandler::repeatDue() {
    if (!flag_ || !extras_.repeat || optEmulateKey_->value()) return;
    if (!input_.sending()) play();
    const EventLoop::Duration now = time_.now();
    repeatDue_ += extras_.repeat->interval;
    if (repeatDue_ <= now) repeatDue_ = now + extras_.repeat->interval;
    repeatTimer_->start(repeatDue_ - now);
}

void SignalHandler::longPressDue() {
    longPressPending_ = false;
    if (!flag_ || !extras_.longPress) return;
    SendKeys(input_, extras_.longPress->text);
    if (optEmulateKey_->value() && !extras_.latch) {
        pressed_ = emulatedKey();
        if (pressed_) InputEvents::KeyDown(input_, *pressed_);
    }
}

void SignalHandler::SignalOff() {
    box_->setFillColor(kIndicatorOff);
    flag_ = false;
    repeatTimer_->stop();
    longPressTimer_->stop();
    if (std::exchange(longPressPending_, false)) act(true);
    // Exactly the key pressed when the line came on: the mode or the selection may have changed
    // since, and the key would otherwise stay down.
    if (const auto key = std::exchange(pressed_, std::nullopt)) InputEvents::KeyUp(input_, *key);
    if (!extras_.release.empty()) SendKeys(input_, extras_.release);
}

void SignalHandler::SignalLost() {
    if (flag_) {
        box_->setFillColor(kIndicatorOff);
        flag_ = false;
    }
    repeatTimer_->stop();
    longPressTimer_->stop();
    longPressPending_ = false;
    if (const auto key = std::exchange(pressed_, std::nullopt)) InputEvents::KeyUp(input_, *key);
    releaseLatched();
}

void SignalHandler::setExtras(LineExtras extras) {
    if (extras.latch != extras_.latch || extras.otherKey != extras_.otherKey) releaseLatched();
    extras_ = std::move(extras);
    if (!extras_.repeat) repeatTimer_->stop();
    // A press under way when the long press goes keeps its action for its end.
    if (!extras_.longPress) longPressTimer_->stop();
}

void SignalHandler::releaseLatched() {
    if (const auto key = std::exchange(latched_, std::nullopt)) InputEvents::KeyUp(input_, *key);
}

}  // namespace velnor
