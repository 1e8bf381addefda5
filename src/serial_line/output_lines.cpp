// The DTR and RTS buttons. A line can be on only while a port is open.

#include "main_window/main_form.h"

namespace velnor {
namespace {

using WriteSetting = void (SerialControl::*)(bool);

// With no port open the selection goes back to "Off", whose click operation logs its own line.
void switchOn(MainForm& form, const QString& logText, WriteSetting write, QRadioButton& off) {
    form.LogEvent(logText);
    if (form.MSComm1.PortOpen())
        (form.MSComm1.*write)(true);
    else
        off.setChecked(true);
}

// Writes the setting also with no port open, so that a setting left on when a port was lost can
// never bring the line up on the next port while "Off" is selected.
void switchOff(MainForm& form, const QString& logText, WriteSetting write) {
    form.LogEvent(logText);
    (form.MSComm1.*write)(false);
}

}  // namespace

void MainForm::optDTROn_Click() {
    switchOn(*this, QStringLiteral("optDTROn_Click"), &SerialControl::setDTREnable, *optDTROff);
}

void MainForm::optDTROff_Click() {
    switchOff(*this, QStringLiteral("optDTROff_Click"), &SerialControl::setDTREnable);
}

void MainForm::optRTSOn_Click() {
    switchOn(*this, QStringLiteral("optRTSOn_Click"), &SerialControl::setRTSEnable, *optRTSOff);
}

void MainForm::optRTSOff_Click() {
    switchOff(*this, QStringLiteral("optRTSOff_Click"), &SerialControl::setRTSEnable);
}

}  // namespace velnor
