#include "main_window/main_form.h"

#include <QCloseEvent>

#include "key_names/key_names.h"
#include "main_window/time_text.h"
#include "signal_actions/signal_handler.h"

namespace velnor {

MainForm::MainForm(InputSink& input, QString commandLine, QWidget* parent)
    : QWidget(parent), input_(input), commandLine_(std::move(commandLine)), log_("EventLog") {
    buildLayout();
    connectHandlers();
}

MainForm::~MainForm() = default;

void MainForm::connectHandlers() {
    connectSignalActions();
}

std::unique_ptr<SignalHandler> MainForm::createHandler(Indicator& box, QRadioButton& optEmulateKey,
                                                       QComboBox& cboEmulateKey,
                                                       QRadioButton& optSendKeys,
                                                       QLineEdit& txtSendKeys,
                                                       QRadioButton& optGenerateKeys,
                                                       QLineEdit& txtGenerateKeys) {
    auto handler = std::make_unique<SignalHandler>(input_);
    handler->setFlag(false);
    handler->setBox(box);
    handler->setOptEmulateKey(optEmulateKey);
    handler->setCboEmulateKey(cboEmulateKey);
    handler->setOptSendKeys(optSendKeys);
    handler->setTxtSendKeys(txtSendKeys);
    handler->setOptGenerateKeys(optGenerateKeys);
    handler->setTxtGenerateKeys(txtGenerateKeys);
    handler->setCboKeyLookup(*cboKeyLookup);
    return handler;
}

void MainForm::Form_Load() {
    dsrHandler = createHandler(*boxDSR, *optDSREmulateKey, *cboDSREmulateKey, *optDSRSendKeys,
                               *txtDSRSendKeys, *optDSRGenerateKeys, *txtDSRGenerateKeys);
    optDSREmulateKey->setChecked(true);
    FillKeyList(*cboDSREmulateKey);
    SelectKeyByName(*cboDSREmulateKey, QStringLiteral("vbKeyShift"));
    txtDSRSendKeys->setText(QStringLiteral("%{TAB}"));
    // The lookup list is filled once, before the first Generate Keys text is parsed through it.
    FillKeyList(*cboKeyLookup);
    txtDSRGenerateKeys->setText(QStringLiteral("vbKeyMenu+vbKeyTab"));

    ctsHandler = createHandler(*boxCTS, *optCTSEmulateKey, *cboCTSEmulateKey, *optCTSSendKeys,
                               *txtCTSSendKeys, *optCTSGenerateKeys, *txtCTSGenerateKeys);
    optCTSEmulateKey->setChecked(true);
    FillKeyList(*cboCTSEmulateKey);
    SelectKeyByName(*cboCTSEmulateKey, QStringLiteral("vbKeyMenu"));
    txtCTSSendKeys->setText(QStringLiteral("^v"));

    cdHandler = createHandler(*boxCD, *optCDEmulateKey, *cboCDEmulateKey, *optCDSendKeys,
                              *txtCDSendKeys, *optCDGenerateKeys, *txtCDGenerateKeys);
    optCDEmulateKey->setChecked(true);
    FillKeyList(*cboCDEmulateKey);
    SelectKeyByName(*cboCDEmulateKey, QStringLiteral("vbKeyControl"));
    txtCDSendKeys->setText(QStringLiteral("^c"));
}

void MainForm::Form_Unload(int& cancel) {
    cancel = 0;
}

void MainForm::LogEvent(const QString& message) {
    log_.prepend(timeText() + QStringLiteral("  ") + message);
    EventLog->setText(log_.text());
}

void MainForm::closeEvent(QCloseEvent* event) {
    int cancel = 0;
    Form_Unload(cancel);
    if (cancel != 0)
        event->ignore();
    else
        event->accept();
}

}  // namespace velnor
