#include "main_window/main_form.h"

#include <QCloseEvent>

#include "main_window/time_text.h"
#include "signal_actions/signal_handler.h"

namespace velnor {

MainForm::MainForm(InputSink& input, QString commandLine, QWidget* parent)
    : QWidget(parent), input_(input), commandLine_(std::move(commandLine)), log_("EventLog") {
    buildLayout();
    connectHandlers();
}

MainForm::~MainForm() = default;

void MainForm::connectHandlers() {}

void MainForm::Form_Load() {}

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
