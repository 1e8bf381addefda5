// Where the changes of the input lines enter the program. Each line's filter runs the edge rule on
// its notifications and looks at the line again where its port or its debounce asks for it.

#include <algorithm>

#include "main_window/main_form.h"
#include "main_window/time_text.h"
#include "platform/qt_time_source.h"
#include "serial_line/line_filter.h"
#include "signal_actions/signal_handler.h"

namespace velnor {

void MainForm::createLineFilters() {
    time_ = std::make_unique<QtTimeSource>();
    // The handlers are created by Form_Load; the filters reach them only when they act.
    const auto follow = [this](std::unique_ptr<SignalHandler> MainForm::*handler,
                               bool (SerialControl::*holding)() const) {
        return std::make_unique<LineFilter>(
            LineFilter::Line{.level = [this, holding] { return (MSComm1.*holding)(); },
                             .portSettleTime = [this] { return MSComm1.settleTime(); },
                             .flag = [this, handler] { return (this->*handler)->flag(); },
                             .on = [this, handler] { (this->*handler)->SignalOn(); },
                             .off = [this, handler] { (this->*handler)->SignalOff(); }},
            *time_);
    };
    dsrFilter = follow(&MainForm::dsrHandler, &SerialControl::DSRHolding);
    ctsFilter = follow(&MainForm::ctsHandler, &SerialControl::CTSHolding);
    cdFilter = follow(&MainForm::cdHandler, &SerialControl::CDHolding);
}

std::array<LineFilter*, 3> MainForm::lineFilters() const {
    return {dsrFilter.get(), ctsFilter.get(), cdFilter.get()};
}

void MainForm::MSComm1_OnComm() {
    const qint16 code = MSComm1.CommEvent();
    const std::pair<qint16, LineFilter*> lines[] = {
        {comEvCD, cdFilter.get()}, {comEvCTS, ctsFilter.get()}, {comEvDSR, dsrFilter.get()}};
    if (code == comEvRing) {
        if (ringState)
            RingOff();
        else
            RingOn();
    } else if (std::ranges::find(lines, code, &std::pair<qint16, LineFilter*>::first) ==
               std::end(lines)) {
        return;  // no line of ours
    }
    // Only the notified line is followed; the others hear that the port is busy.
    for (const auto& [lineCode, filter] : lines) {
        if (lineCode == code)
            filter->notified();
        else
            filter->portHeard();
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
