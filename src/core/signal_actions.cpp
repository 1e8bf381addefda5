// The window's side of the signal actions: the Generate Keys change handlers, and the problem
// each text box shows when its text cannot act as written.

#include "core/key_code_strings.h"
#include "core/main_form.h"
#include "core/send_keys.h"
#include "core/text.h"

namespace velnor {

void MainForm::txtDSRGenerateKeys_Change() {
    generateKeysChanged(inputLines()[0]);
}

void MainForm::txtCTSGenerateKeys_Change() {
    generateKeysChanged(inputLines()[1]);
}

void MainForm::txtCDGenerateKeys_Change() {
    generateKeysChanged(inputLines()[2]);
}

void MainForm::generateKeysChanged(const InputLine& line) {
    SignalHandler& handler = *(this->*line.handler);
    handler.ParseGenerateKeys();
    TextBox& text = this->*line.txtGenerateKeys;
    text.setProblem(keyCodeStringProblem(text.text(), handler.generateKeys()));
}

void MainForm::showSendKeysProblem(TextBox& text) {
    const auto error = checkSendKeys(text.text());
    text.setProblem(error ? u"Cannot be typed: " + error->message + u" (at character " +
                                toU16(static_cast<int>(error->position) + 1) + u")"
                          : std::u16string());
}

}  // namespace velnor
