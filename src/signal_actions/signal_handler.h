#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QString>
#include <cstdint>
#include <optional>

#include "core/key_code_strings.h"
#include "main_window/indicator.h"

namespace velnor {

class InputSink;

// The action object of one input line. It holds references to the controls of its line and reads
// mode, key and strings from them at the moment it acts; it keeps no copy of them, only the key it
// holds down, which SignalOff releases whatever the controls say by then.
class SignalHandler {
  public:
    explicit SignalHandler(InputSink& input);

    Indicator* box() const { return box_; }
    void setBox(Indicator& box) { box_ = &box; }
    bool flag() const { return flag_; }
    void setFlag(bool flag) { flag_ = flag; }
    const QString& name() const { return name_; }
    void setName(const QString& name) { name_ = name; }
    QRadioButton* optEmulateKey() const { return optEmulateKey_; }
    void setOptEmulateKey(QRadioButton& button) { optEmulateKey_ = &button; }
    QComboBox* cboEmulateKey() const { return cboEmulateKey_; }
    void setCboEmulateKey(QComboBox& list) { cboEmulateKey_ = &list; }
    QRadioButton* optSendKeys() const { return optSendKeys_; }
    void setOptSendKeys(QRadioButton& button) { optSendKeys_ = &button; }
    QLineEdit* txtSendKeys() const { return txtSendKeys_; }
    void setTxtSendKeys(QLineEdit& text) { txtSendKeys_ = &text; }
    QRadioButton* optGenerateKeys() const { return optGenerateKeys_; }
    void setOptGenerateKeys(QRadioButton& button) { optGenerateKeys_ = &button; }
    QLineEdit* txtGenerateKeys() const { return txtGenerateKeys_; }
    void setTxtGenerateKeys(QLineEdit& text) { txtGenerateKeys_ = &text; }
    const std::optional<KeyCodeTable>& generateKeys() const { return generateKeys_; }
    void setGenerateKeys(std::optional<KeyCodeTable> table) { generateKeys_ = std::move(table); }
    QComboBox* cboKeyLookup() const { return cboKeyLookup_; }
    void setCboKeyLookup(QComboBox& list) { cboKeyLookup_ = &list; }

    // Shows a message box "this is a class"; nothing in the program calls it.
    void test();
    // Replaces the key code table with the parse of the Generate Keys text as it now stands.
    void ParseGenerateKeys();
    // The table as text: each code followed by "+", each step by ","; "" for no table.
    QString GenerateKeyCodeString() const;
    void SignalOn();
    void SignalOff();

  private:
    std::optional<KeyCodeTable> ParseKeyCodes(const QString& text);

    Indicator* box_ = nullptr;
    bool flag_ = false;
    QString name_;
    QRadioButton* optEmulateKey_ = nullptr;
    QComboBox* cboEmulateKey_ = nullptr;
    QRadioButton* optSendKeys_ = nullptr;
    QLineEdit* txtSendKeys_ = nullptr;
    QRadioButton* optGenerateKeys_ = nullptr;
    QLineEdit* txtGenerateKeys_ = nullptr;
    std::optional<KeyCodeTable> generateKeys_;
    QComboBox* cboKeyLookup_ = nullptr;

    InputSink& input_;
    std::optional<int16_t> pressed_;  // the emulated key that SignalOn pressed
};

}  // namespace velnor
