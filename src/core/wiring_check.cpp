#include "core/wiring_check.h"

#include <chrono>
#include <utility>
#include <vector>

namespace velnor {
namespace {

using namespace std::chrono_literals;

// Longer than a USB adapter takes to report a change (cdc-acm polls its device at up to 255 ms;
// ftdi_sio's default latency timer is 16 ms), added to the port's own settle time.
constexpr EventLoop::Duration kStepSettle = 300ms;

struct Input {
    std::u16string_view name;
    bool ModemLevels::*level;
    bool reported;
};

std::u16string joined(const std::vector<std::u16string>& parts, std::u16string_view separator) {
    std::u16string text;
    for (const std::u16string& part : parts) {
        if (!text.empty()) text += separator;
        text += part;
    }
    return text;
}

}  // namespace

std::u16string describeWiring(const ModemLevels& neither, const ModemLevels& dtr,
                              const ModemLevels& rts, const ReportedLines& reported) {
    const Input inputs[] = {{u"DSR", &ModemLevels::dsr, reported.lines.dsr},
                            {u"CTS", &ModemLevels::cts, reported.lines.cts},
                            {u"CD", &ModemLevels::cd, reported.lines.cd},
                            {u"RI", &ModemLevels::ri, reported.lines.ri}};
    std::vector<std::u16string> followDtr, followRts, still, unreported;
    for (const Input& input : inputs) {
        const std::u16string name(input.name);
        if (!input.reported) {
            unreported.push_back(name);
            continue;
        }
        const bool byDtr = dtr.*input.level != neither.*input.level;
        const bool byRts = rts.*input.level != neither.*input.level;
        if (byDtr) followDtr.push_back(name);
        if (byRts) followRts.push_back(name);
        if (!byDtr && !byRts) still.push_back(name);
    }
    std::vector<std::u16string> parts;
    if (!followDtr.empty()) parts.push_back(u"DTR → " + joined(followDtr, u", "));
    if (!followRts.empty()) parts.push_back(u"RTS → " + joined(followRts, u", "));
    if (parts.empty())
        parts.push_back(u"no input line followed DTR or RTS; the adapter may not wire them");
    else if (!still.empty())
        parts.push_back(joined(still, u", ") + u" never changed");
    if (!unreported.empty())
        parts.push_back(joined(unreported, u", ") + u" not reported by " + reported.driverWords());
    return joined(parts, u"; ");
}

WiringCheck::WiringCheck(SerialControl& port, EventLoop& loop,
                         std::function<void(const std::u16string&)> finished)
    : port_(port), finished_(std::move(finished)), timer_(loop.createTimer([this] { next(); })) {}

void WiringCheck::start() {
    dtrBefore_ = port_.DTREnable();
    rtsBefore_ = port_.RTSEnable();
    step_ = 1;
    drive(false, false);
}

void WiringCheck::stop() {
    if (!running()) return;
    timer_->stop();
    step_ = 0;
    port_.setDTREnable(dtrBefore_);
    port_.setRTSEnable(rtsBefore_);
}

// Each step reads what the one before it drove, then drives the next.
void WiringCheck::next() {
    if (step_ <= 3) read_[step_ - 1] = port_.levels();
    switch (step_++) {
        case 1:
            drive(true, false);
            break;
        case 2:
            drive(false, true);
            break;
        case 3:
            drive(dtrBefore_, rtsBefore_);
            break;
        default:
            step_ = 0;
            finished_(describeWiring(read_[0], read_[1], read_[2], port_.reportedLines()));
    }
}

void WiringCheck::drive(bool dtr, bool rts) {
    port_.setDTREnable(dtr);
    port_.setRTSEnable(rts);
    timer_->start(kStepSettle + port_.settleTime());
}

}  // namespace velnor
