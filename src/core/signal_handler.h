#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "core/controls.h"
#include "core/key_code_strings.h"

namespace velnor {

class InputSink;

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
    // user and waits until it is read.
    SignalHandler(const Controls& controls, InputSink& input,
                  std::function<void(const std::u16string&)> messageBox);

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

  private:
    std::optional<KeyCodeTable> ParseKeyCodes(std::u16string_view text);
    void turnOn(bool play);

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
};

}  // namespace velnor
