// The window's side of the signal actions: the Generate Keys change handlers, and the outline
// and tooltip that tell the user when a text cannot act as written.

#include "core/key_code_strings.h"
#include "core/send_keys.h"
#include "main_window/main_form.h"
#include "platform/qt_text.h"
#include "signal_actions/signal_handler.h"

namespace velnor {
namespace {

void showProblem(QLineEdit& text, const QString& problem) {
    text.setToolTip(problem);
    text.setStyleSheet(problem.isEmpty() ? QString()
                                         : QStringLiteral("QLineEdit { border: 2px solid red; }"));
    // A style sheet leaves the application's font set on the box once it goes; the box takes its
    // form's small font again.
    if (problem.isEmpty()) text.setFont(QFont());
}

void watchSendKeys(QLineEdit& text) {
    QObject::connect(&text, &QLineEdit::textChanged, &text, [&text](const QString& keys) {
        const auto error = checkSendKeys(u16View(keys));
        showProblem(
            text, error ? QStringLiteral("Cannot be typed: %1 (at character %2)")
                              .arg(toQString(error->message), QString::number(error->position + 1))
                        : QString());
    });
}

}  // namespace

void MainForm::txtDSRGenerateKeys_Change() {
    dsrHandler->ParseGenerateKeys();
}
void MainForm::txtCTSGenerateKeys_Change() {
    ctsHandler->ParseGenerateKeys();
}
void MainForm::txtCDGenerateKeys_Change() {
    cdHandler->ParseGenerateKeys();
}

void MainForm::connectSignalActions() {
    const struct {
        QLineEdit* text;
        void (MainForm::*change)();
        std::unique_ptr<SignalHandler> MainForm::*handler;
    } generateKeys[] = {
        {txtDSRGenerateKeys, &MainForm::txtDSRGenerateKeys_Change, &MainForm::dsrHandler},
        {txtCTSGenerateKeys, &MainForm::txtCTSGenerateKeys_Change, &MainForm::ctsHandler},
        {txtCDGenerateKeys, &MainForm::txtCDGenerateKeys_Change, &MainForm::cdHandler},
    };
    for (const auto& line : generateKeys) {
        QLineEdit* text = line.text;
        connect(text, &QLineEdit::textChanged, this, line.change);
        // Runs after the change handler, so it sees the table of the text as it now stands.
        connect(text, &QLineEdit::textChanged, this, [this, text, handler = line.handler] {
            showProblem(*text, toQString(keyCodeStringProblem(u16View(text->text()),
                                                              (this->*handler)->generateKeys())));
        });
    }
    for (QLineEdit* text : {txtDSRSendKeys, txtCTSSendKeys, txtCDSendKeys}) watchSendKeys(*text);
}

}  // namespace velnor
