#include "main_window/main_form.h"

#include <QCloseEvent>

#include "key_names/key_names.h"
#include "main_window/time_text.h"
#include "platform/dde.h"
#include "platform/qt_text.h"
#include "platform/synthetic_input.h"
#include "serial_line/line_filter.h"
#include "signal_actions/signal_handler.h"

namespace velnor {

MainForm::MainForm(InputSink& input, QString commandLine, DdeServer* dde, QWidget* parent)
    : QWidget(parent),
      input_(input),
      commandLine_(std::move(commandLine)),
      dde_(dde),
      log_("EventLog") {
    buildLayout();
    connectHandlers();
    // The input backend failing mid-run is a word in the log, like its failing at start-up.
    input_.setProblemReporter(
        [this](const std::u16string& problem) { LogEvent(toQString(problem)); });
}

MainForm::~MainForm() {
    input_.setProblemReporter({});
}

void MainForm::connectHandlers() {
    connectSignalActions();
    createLineFilters();
    connectSerialLine();
    connectLineMenus();
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

// True when another copy runs: the command line has then gone to it (if there was one).
bool MainForm::claimCommandChannel() {
    if (!dde_) return false;
    switch (dde_->claim()) {
        case DdeServer::Claim::Owner:
            connect(dde_, &DdeServer::linkOpen, this, &MainForm::Form_LinkOpen);
            connect(dde_, &DdeServer::linkExecute, this, &MainForm::Form_LinkExecute);
            return false;
        case DdeServer::Claim::Unavailable:
            LogEvent(dde_->problem());
            return false;
        case DdeServer::Claim::AnotherCopyRuns:
            if (!commandLine_.isEmpty()) {
                if (const auto error = DdeServer::execute(commandLine_))
                    qWarning("Velnor is already running but did not take the command line: %s",
                             qPrintable(*error));
            }
            return true;
    }
    return false;
}

void MainForm::Form_Load() {
    if (claimCommandChannel()) {
        int cancel = 0;
        Form_Unload(cancel);
        handedOver_ = true;
        return;
    }
    optComNone->setChecked(true);
    RingOff();
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

    ProcessArguments(commandLine_);
}

void MainForm::Form_Unload(int& cancel) {
    optDTROff_Click();
    optRTSOff_Click();
    optComNone_Click();
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
