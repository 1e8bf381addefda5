// Where the changes of the input lines enter the program.

#include "main_window/main_form.h"
#include "main_window/time_text.h"
#include "signal_actions/signal_handler.h"

namespace velnor {
namespace {

// The direction of an edge comes from the line's present level against the handler's flag, never
// from the notification. Both tests read the level afresh, so a line that fell between them is
// still followed, and a line that rose and fell before its notification acts not at all.
void followLine(SignalHandler& handler, const SerialControl& port,
                bool (SerialControl::*holding)() const) {
    bool flag = handler.flag();
    bool on = (port.*holding)();
    if (on && !flag) handler.SignalOn();
    flag = handler.flag();
    on = (port.*holding)();
    if (!on && flag) handler.SignalOff();
}

}  // namespace

void MainForm::MSComm1_OnComm() {
    switch (MSComm1.CommEvent()) {
        case comEvCD:
            followLine(*cdHandler, MSComm1, &SerialControl::CDHolding);
            break;
        case comEvCTS:
            followLine(*ctsHandler, MSComm1, &SerialControl::CTSHolding);
            break;
        case comEvDSR:
            followLine(*dsrHandler, MSComm1, &SerialControl::DSRHolding);
            break;
        case comEvRing:
            if (ringState)
                RingOff();
            else
                RingOn();
            break;
        default:
            break;
    }
}

void MainForm::RingOn() {
    boxRI->setFillColor(kIndicatorOn);
    ringState = true;
    RITimeStamp->setText(QStringLiteral("B ") + timeText());
}

void MainForm::RingOff() {
    boxRI->setFillColor(kIndicatorOff);
    ringState = false;
    RITimeStamp->setText(QStringLiteral("A ") + timeText());
}

}  // namespace velnor
