// The serial line: the "Port" buttons, the DTR and RTS buttons, and where the changes of the input
// lines enter the program. Each line's filter runs the edge rule on its notifications and looks at
// the line again where its port or its debounce asks for it.

#include <algorithm>
#include <utility>

#include "core/main_form.h"
#include "core/text.h"

namespace velnor {

// Every line that is on goes off through its handler before its port closes, whatever closes it:
// a key held for it would otherwise stay down with no way to release it.
void MainForm::closePort() {
    stopWiringCheck();
    for (SignalLine& line : lines) line.filter().portClosed();
    MSComm1.setPortOpen(false);
}

void MainForm::SetComPort(int16_t port) {
    LogEvent(u"SetComPort " + toU16(port));
    if (MSComm1.PortOpen()) closePort();
    MSComm1.setCommPort(port);
    const auto opened = MSComm1.setPortOpen(true);
    if (opened) {
        followOpenedPort();
        return;
    }
    LogEvent(u"COM" + toU16(port) + u" (" + platform_.ports.deviceOf(port) +
             u") cannot be opened: " + opened.error().reason);
    optComNone.setValue(true);
}

// A line already on at a port just opened comes on now, not at its next change. A line the port
// does not report is said once at each open, through the port's notices: "the cdc_acm driver does
// not report CTS".
void MainForm::followOpenedPort() {
    for (SignalLine& line : lines) line.filter().portOpened();
    const ReportedLines reported = MSComm1.reportedLines();
    for (const SignalLine& line : lines) {
        if (line.filter().reported()) continue;
        const std::u16string name(line.name());
        MSComm1.onNotice(reported.driverWords() + u" does not report " + name + u"; " + name +
                         u" is ignored");
    }
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
    LogEvent(u"SetComPort none");
    stopWiringCheck();
    if (MSComm1.DTREnable()) optDTROff.setValue(true);
    if (MSComm1.RTSEnable()) optRTSOff.setValue(true);
    closePort();  // with no port open, it still ends the wait for a lost port
}

// The port is already closed; its lines go off as for any close. While its device is waited for,
// the selection stays on the port the user chose, with the output lines as they were, so that
// "None" ends the wait and the port comes back as it went; otherwise it goes to "None", which
// also turns the output lines off.
void MainForm::releaseLostPort(const std::u16string& device, const Problem& problem) {
    LogEvent(u"COM" + toU16(MSComm1.CommPort()) + u" (" + device + u") is gone: " + problem.reason +
             u"; the port is released");
    stopWiringCheck();
    for (SignalLine& line : lines) line.filter().portClosed();
    if (!MSComm1.waitsForLostPort()) optComNone.setValue(true);
}

// The wait has opened the port again: its lines are followed from their present level.
void MainForm::reopenReturnedPort(int16_t port, const std::u16string& device) {
    LogEvent(u"COM" + toU16(port) + u" (" + device + u") is back; the port is opened again");
    followOpenedPort();
}

// Said once per wait; the attempts after it fail in silence.
void MainForm::reopenFailed(int16_t port, const std::u16string& device, const Problem& problem) {
    LogEvent(u"COM" + toU16(port) + u" (" + device + u") cannot be opened yet: " + problem.reason +
             u"; trying again until it opens or another port is chosen");
}

// With no port open the selection goes back to "Off", whose click operation logs its own line.
void MainForm::switchOn(std::u16string_view logText, void (SerialControl::*write)(bool),
                        OptionButton& off) {
    LogEvent(logText);
    stopWiringCheck();
    if (MSComm1.PortOpen())
        (MSComm1.*write)(true);
    else
        off.setValue(true);
}

// Writes the setting also with no port open, so that a setting left on when a port was lost can
// never bring the line up on the next port while "Off" is selected.
void MainForm::switchOff(std::u16string_view logText, void (SerialControl::*write)(bool)) {
    LogEvent(logText);
    stopWiringCheck();
    (MSComm1.*write)(false);
}

void MainForm::optDTROn_Click() {
    switchOn(u"optDTROn_Click", &SerialControl::setDTREnable, optDTROff);
}

void MainForm::optDTROff_Click() {
    switchOff(u"optDTROff_Click", &SerialControl::setDTREnable);
}

void MainForm::optRTSOn_Click() {
    switchOn(u"optRTSOn_Click", &SerialControl::setRTSEnable, optRTSOff);
}

void MainForm::optRTSOff_Click() {
    switchOff(u"optRTSOff_Click", &SerialControl::setRTSEnable);
}

void MainForm::MSComm1_OnComm() {
    if (wiring_.running()) return;  // the check's own doing; the lines are looked at once it ends
    const int16_t code = MSComm1.CommEvent();
    if (code == comEvRing) {
        if (ringState)
            RingOff();
        else
            RingOn();
    } else if (std::ranges::none_of(lines, [code](const SignalLine& line) {
                   return line.row().commEvent == code;
               })) {
        return;  // no line of ours
    }
    // Only the notified line is followed; the others hear that the port is busy.
    for (SignalLine& line : lines) {
        if (line.row().commEvent == code)
            line.filter().notified();
        else
            line.filter().portHeard();
    }
}

// The lines' handlers are held off while the check drives the outputs, so nothing is typed, and
// each line is followed again from its present level once the outputs are back.
void MainForm::checkWiring() {
    if (!MSComm1.PortOpen() || wiring_.running()) return;
    for (SignalLine& line : lines) line.filter().hold();
    wiring_.start();
}

void MainForm::wiringChecked(const std::u16string& result) {
    for (SignalLine& line : lines) line.filter().release();
    const std::u16string text = openPortName() + u" wiring: " + result;
    LogEvent(text);
    if (platform_.messageBox) platform_.messageBox(text);
}

// The user's own choice of port or output line, or the loss of the port, ends a check under way,
// the outputs first put back as they were.
void MainForm::stopWiringCheck() {
    if (!wiring_.running()) return;
    wiring_.stop();
    LogEvent((MSComm1.PortOpen() ? openPortName() : u"COM" + toU16(MSComm1.CommPort())) +
             u" wiring check stopped");
    for (SignalLine& line : lines) line.filter().release();
}

void MainForm::RingOn() {
    boxRI.setFillColor(kIndicatorOn);
    const bool changed = !std::exchange(ringState, true);
    RITimeStamp.setCaption(u"B " + platform_.timeText());
    if (changed) announceLine(u"RI", true);
}

void MainForm::RingOff() {
    boxRI.setFillColor(kIndicatorOff);
    const bool changed = std::exchange(ringState, false);
    RITimeStamp.setCaption(u"A " + platform_.timeText());
    if (changed) announceLine(u"RI", false);
}

}  // namespace velnor
