#pragma once

#include <functional>
#include <set>
#include <string>
#include <utility>

#include "core/menu.h"
#include "core/text.h"

namespace velnor {

enum class MouseButton { Left, Right, Middle };

// Where synthetic input goes: each call injects exactly one event into the input stream of the
// focused application, in the order of the calls, with no batching and no delay, except that a
// character which has to wait for a keymap slot (XTest), or an event past the time one turn of the
// window's thread may spend injecting (SendInput), goes out later from the event loop, and every
// event asked for after it behind it.
class InputSink {
  public:
    virtual ~InputSink() = default;

    // Presses or releases the key of a virtual-key code; mouse buttons go through mouseButton().
    virtual void key(int virtualKey, bool down) = 0;
    // Presses or releases a mouse button where the pointer is, without moving it.
    virtual void mouseButton(MouseButton button, bool down) = 0;
    // Types one character as the active keymap produces it, adding Shift where the keymap needs it.
    virtual void typeCharacter(char32_t character) = 0;

    // Whether events asked for earlier still wait to go out (a long text typing in the background).
    virtual bool sending() const { return false; }

    // What the backend offers in the window's menu (the keyboard layout it types on, asking the
    // desktop again for input), built afresh each time the menu opens; none by default.
    virtual Menu menu() { return {}; }

    // Receives, on the injecting thread, one sentence when injection stops working mid-run (the
    // X server went away, the device refuses events), works without a safeguard it relies on, or
    // changes how it types (another keyboard layout), or the desktop allows or ends it; a failure
    // that goes on is told once.
    void setProblemReporter(std::function<void(const std::u16string&)> reporter) {
        reporter_ = std::move(reporter);
    }

    // Called by SendKeys after each text: the characters of it that the backend could not type
    // are told in one sentence, each once.
    void textTyped() {
        if (untyped_.empty()) return;
        const std::u16string them = untyped_.size() == 1 ? u"it" : u"them";
        if (reporter_)
            reporter_(u"SendKeys could not type \"" + toUtf16(untyped_) + u"\": no key of the " +
                      untypedLayout_ + u" keyboard layout gives " + them);
        untyped_.clear();
    }

  protected:
    // A backend calls this for a character that no key of its keyboard layout, named `layout`,
    // gives: it is dropped, never typed as another, and told once the text is done.
    void characterUntyped(char32_t character, const std::u16string& layout) {
        if (untyped_.find(character) == std::u32string::npos) untyped_ += character;
        untypedLayout_ = layout;
    }
    // Backends call these after each injection: a failure is told only when the previous
    // injection worked.
    void injectionFailed(const std::u16string& problem) {
        if (std::exchange(failing_, true)) return;
        if (reporter_) reporter_(problem);
    }
    void injectionWorked() { failing_ = false; }
    // A backend calls this for a key it cannot give as asked (no key code for it, the keyboard
    // layout reads it as another key): `problem` is told the first time only, so a pedal held
    // and released all day says it once.
    void keyUnavailable(int virtualKey, const std::u16string& problem) {
        if (unavailable_.insert(virtualKey).second) tell(problem);
    }
    // News of the backend that does not wait for an injection: a safeguard that is missing (the
    // XTest guardian), the desktop's answer when asked for input, the keyboard layout it types on
    // from now on. Told as it comes.
    void tell(const std::u16string& news) {
        if (reporter_) reporter_(news);
    }

  private:
    std::function<void(const std::u16string&)> reporter_;
    bool failing_ = false;
    std::u32string untyped_;  // of the text being typed, each once
    std::u16string untypedLayout_;
    std::set<int> unavailable_;  // keys told by keyUnavailable()
};

// Drops every event: where nothing can inject, and for runs that only need the program's logic.
class NullInputSink final : public InputSink {
  public:
    void key(int, bool) override {}
    void mouseButton(MouseButton, bool) override {}
    void typeCharacter(char32_t) override {}
};

}  // namespace velnor
