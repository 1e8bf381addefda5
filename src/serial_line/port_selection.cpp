// The "Port" buttons: open the chosen port, or switch the output lines off and release the port.

#include "main_window/main_form.h"
#include "serial_line/line_filter.h"

namespace velnor {

void MainForm::connectSerialLine() {
    const std::pair<QRadioButton*, void (MainForm::*)()> clicks[] = {
        {optComNone, &MainForm::optComNone_Click}, {optCom1, &MainForm::optCom1_Click},
        {optCom2, &MainForm::optCom2_Click},       {optCom3, &MainForm::optCom3_Click},
        {optCom4, &MainForm::optCom4_Click},       {optDTROn, &MainForm::optDTROn_Click},
        {optDTROff, &MainForm::optDTROff_Click},   {optRTSOn, &MainForm::optRTSOn_Click},
        {optRTSOff, &MainForm::optRTSOff_Click}};
    // A button that becomes selected, by the user or by code, runs its click operation at once.
    for (const auto& [button, click] : clicks)
        connect(button, &QRadioButton::toggled, this, [this, click](bool selected) {
            if (selected) (this->*click)();
        });
    connect(&MSComm1, &SerialControl::OnComm, this, &MainForm::MSComm1_OnComm);
    connect(&MSComm1, &SerialControl::notice, this, [this](const QString& text) {
        LogEvent(
            QStringLiteral("COM%1 (%2): %3").arg(MSComm1.CommPort()).arg(MSComm1.device(), text));
    });
    connect(&MSComm1, &SerialControl::portLost, this, &MainForm::releaseLostPort);
}

// Every line that is on goes off through its handler before its port closes, whatever closes it:
// a key held for it would otherwise stay down with no way to release it.
void MainForm::closePort() {
    for (LineFilter* filter : lineFilters()) filter->portClosed();
    MSComm1.setPortOpen(false);
}

void MainForm::SetComPort(qint16 port) {
    LogEvent(QStringLiteral("SetComPort %1").arg(port));
    if (MSComm1.PortOpen()) closePort();
    MSComm1.setCommPort(port);
    const auto opened = MSComm1.setPortOpen(true);
    if (opened) {
        // A line already on at this port comes on now, not at its next change.
        for (LineFilter* filter : lineFilters()) filter->portOpened();
        return;
    }
    LogEvent(QStringLiteral("COM%1 (%2) cannot be opened: %3")
                 .arg(port)
                 .arg(opened.error().device, opened.error().reason));
    optComNone->setChecked(true);
}

void MainForm::optCom1_Click() {
    SetComPort(1);
}

void MainForm::optCom2_Click() {
    SetComPort(2);
}

void MainForm::optCom3_Click() {
    SetComPort(3);
}

void MainForm::optCom4_Click() {
    SetComPort(4);
}

void MainForm::optComNone_Click() {
    LogEvent(QStringLiteral("SetComPort none"));
    if (MSComm1.DTREnable()) optDTROff->setChecked(true);
    if (MSComm1.RTSEnable()) optRTSOff->setChecked(true);
    if (MSComm1.PortOpen()) closePort();
}

// The port is already closed; its lines go off as for any close, then the selection follows,
// which also turns the output lines off.
void MainForm::releaseLostPort(const SerialError& error) {
    LogEvent(QStringLiteral("COM%1 (%2) is gone: %3; the port is released")
                 .arg(MSComm1.CommPort())
                 .arg(error.device, error.reason));
    for (LineFilter* filter : lineFilters()) filter->portClosed();
    optComNone->setChecked(true);
}

}  // namespace velnor
