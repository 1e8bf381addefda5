#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/controls.h"
#include "core/event_loop.h"
#include "core/key_code_strings.h"

namespace velnor {

class InputSink;

// What a line does beyond its mode's action; everything off by default, so that a line without
// them acts exactly as its mode says.
struct LineExtras {
    using Duration = EventLoop::Duration;
    static constexpr Duration kLongest{60000};

    // SendKeys and Generate Keys play their text again after `delay` and then every `interval`
    // while the line stays on.
    struct Repeat {
        Duration delay{};
        Duration interval{};
        bool operator==(const Repeat&) const = default;
    };
    // With a long press set, a press shorter than `threshold` acts when it ends, and a longer one
    // types `text` once the threshold passes instead (and holds the emulated key from then on).
    struct LongPress {
        Duration threshold{};
        std::u16string text{};
        bool operator==(const LongPress&) const = default;
    };

    std::optional<Repeat> repeat{};
    std::u16string release{};  // typed as the line goes off, in any mode
    std::optional<LongPress> longPress{};
    // "Emulate a key": each time the line comes on, the key toggles between held and released.
    bool latch = false;
    // A key beyond the key list that "Emulate a key" holds instead of the list's (0: the list's).
    int otherKey = 0;
};

// The action object of one input line. It holds references to the controls of its line and reads
// mode, key and strings from them at the moment it acts; it keeps no copy of them, only the key it
// holds down, which SignalOff releases whatever the controls say by then.
class SignalHandler {
  public:
    // The controls of one line, and the hidden list that turns key names into codes.
    struct Controls {
        Indicator& box;
        OptionButton& optEmulateKey;
        DropDownList& cboEmulateKey;
        OptionButton& optSendKeys;
        TextBox& txtSendKeys;
        OptionButton& optGenerateKeys;
        TextBox& txtGenerateKeys;
        DropDownList& cboKeyLookup;
    };

    // Tied to `controls` from the start, with its flag false. `messageBox` shows a sentence to the
    // user and waits until it is read; `time` runs the repeats and long presses.
    SignalHandler(const Controls& controls, InputSink& input,
                  std::function<void(const std::u16string&)> messageBox, EventLoop& time);

    Indicator* box() const { return box_; }
    void setBox(Indicator& box) { box_ = &box; }
    bool flag() const { return flag_; }
    void setFlag(bool flag) { flag_ = flag; }
    const std::u16string& name() const { return name_; }
    void setName(std::u16string name) { name_ = std::move(name); }
    OptionButton* optEmulateKey() const { return optEmulateKey_; }
    void setOptEmulateKey(OptionButton& button) { optEmulateKey_ = &button; }
    DropDownList* cboEmulateKey() const { return cboEmulateKey_; }
    void setCboEmulateKey(DropDownList& list) { cboEmulateKey_ = &list; }
    OptionButton* optSendKeys() const { return optSendKeys_; }
    void setOptSendKeys(OptionButton& button) { optSendKeys_ = &button; }
    TextBox* txtSendKeys() const { return txtSendKeys_; }
    void setTxtSendKeys(TextBox& text) { txtSendKeys_ = &text; }
    OptionButton* optGenerateKeys() const { return optGenerateKeys_; }
    void setOptGenerateKeys(OptionButton& button) { optGenerateKeys_ = &button; }
    TextBox* txtGenerateKeys() const { return txtGenerateKeys_; }
    void setTxtGenerateKeys(TextBox& text) { txtGenerateKeys_ = &text; }
    const std::optional<KeyCodeTable>& generateKeys() const { return generateKeys_; }
    void setGenerateKeys(std::optional<KeyCodeTable> table) { generateKeys_ = std::move(table); }
    DropDownList* cboKeyLookup() const { return cboKeyLookup_; }
    void setCboKeyLookup(DropDownList& list) { cboKeyLookup_ = &list; }

    // Shows a message box "this is a class"; nothing in the program calls it.
    void test();
    // Replaces the key code table with the parse of the Generate Keys text as it now stands.
    void ParseGenerateKeys();
    // The table as text: each code followed by "+", each step by ","; "" for no table.
    std::u16string GenerateKeyCodeString() const;
    void SignalOn();
    // The line was found on as its port opened: the indicator, the flag and an emulated key follow
    // it, but no text is played, since nobody pressed anything.
    void SignalFoundOn();
    void SignalOff();
    // The port closed or went: the line goes off if it was on, and every key it holds, a latched
    // one too, is released; nothing is played, since nobody let go of anything.
    void SignalLost();

    const LineExtras& extras() const { return extras_; }
    // Takes effect from the next press; a latched key is let go when the latch, the other key or
    // the mode changes.
    void setExtras(LineExtras extras);
    // The mode or the key list's selection changed: a latched key is let go.
    void releaseLatched();

  private:
    std::optional<KeyCodeTable> ParseKeyCodes(std::u16string_view text);
    void turnOn(bool play);
    // The key "Emulate a key" presses: the other key, else the list's selected entry.
    std::optional<int16_t> emulatedKey() const;
    // The mode's action as the line comes on, or as a short press ends (`tap`: the emulated key is
    // pressed and released at once).
    void act(bool tap);
    // Types the SendKeys text or plays the Generate Keys table, as the mode says.
    void play();
    void repeatDue();
    void longPressDue();

    Indicator* box_ = nullptr;
    bool flag_ = false;
    std::u16string name_;
    OptionButton* optEmulateKey_ = nullptr;
    DropDownList* cboEmulateKey_ = nullptr;
    OptionButton* optSendKeys_ = nullptr;
    TextBox* txtSendKeys_ = nullptr;
    OptionButton* optGenerateKeys_ = nullptr;
    TextBox* txtGenerateKeys_ = nullptr;
    std::optional<KeyCodeTable> generateKeys_;
    DropDownList* cboKeyLookup_ = nullptr;

    InputSink& input_;
    std::function<void(const std::u16string&)> messageBox_;
    std::optional<int16_t> pressed_;  // the emulated key that SignalOn pressed
    std::optional<int16_t> latched_;  // the key a latch holds, across the line's presses

    LineExtras extras_;
    EventLoop& time_;
    std::unique_ptr<EventLoop::Timer> repeatTimer_;
    EventLoop::Duration repeatDue_{};  // when the next repeat is due: late beats do not add up
    std::unique_ptr<EventLoop::Timer> longPressTimer_;
    bool longPressPending_ = false;  // on, and the threshold not yet passed
};

}  // namespace velnor
