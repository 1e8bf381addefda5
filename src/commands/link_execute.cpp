#include "main_window/main_form.h"

namespace velnor {

void MainForm::Form_LinkOpen(int& cancel) {
    cancel = 0;
}

void MainForm::Form_LinkExecute(const QString& command, int& cancel) {
    // An over-long command is refused before it reaches the log, and the client hears so.
    if (refuseOverlongArguments(command)) {
        cancel = 1;
        return;
    }
    cancel = 0;
    LogEvent(QStringLiteral("DDE LinkExecute:  ") + command);
    ProcessArguments(command);
}

}  // namespace velnor
