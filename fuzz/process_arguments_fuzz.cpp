// ProcessArguments on a fresh window whose four ports are the loopback port, with input dropped:
// whatever the arguments, each is logged in order, the log stays bounded, and the buttons, the
// port and the indicators agree once the line changes the arguments caused have been handled,
// settle times and polarity taken into account.
#include <QApplication>
#include <cstdlib>

#include "core/split_text.h"
#include "fuzz_support.h"
#include "main_window/event_log.h"
#include "main_window/main_form.h"
#include "platform/qt_text.h"
#include "platform/synthetic_input.h"
#include "serial_line/line_filter.h"
#include "signal_actions/signal_handler.h"

using velnor::fuzz::require;

namespace {

// The pieces' "arg" lines stand in the log newest first, each one line with its control characters
// shown; false if one is missing or out of order.
bool argumentsLoggedInOrder(const QString& log, const std::vector<std::u16string>& pieces) {
    qsizetype at = 0;
    for (size_t i = pieces.size(); i-- > 0;) {
        const QString line = QStringLiteral("  arg(%1) = ").arg(i + 1) +
                             velnor::toQString(velnor::visibleControlCharacters(pieces[i])) +
                             QLatin1Char('\n');
        at = log.indexOf(line, at);
        if (at < 0) return false;
        at += line.size();
    }
    return true;
}

// Unless a look at the line is still to come (a settle time has not ended), the flag is the
// line's level after polarity, and nothing is on while no port is open.
void requireLineFollowed(const velnor::SignalHandler& handler, const velnor::LineFilter& filter,
                         bool portOpen, bool level) {
    require(handler.box()->fillColor() ==
                (handler.flag() ? velnor::kIndicatorOn : velnor::kIndicatorOff),
            "an indicator shows its handler's flag");
    if (!portOpen)
        require(!handler.flag(), "no line is on while no port is open");
    else if (!filter.lookPending())
        require(handler.flag() == (level != filter.inverted()),
                "a handled line's flag is its level");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const char* port : {"VELNOR_COM1", "VELNOR_COM2", "VELNOR_COM3", "VELNOR_COM4"})
        setenv(port, "loopback", 1);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static velnor::NullInputSink input;
    const QString arguments = velnor::toQString(velnor::fuzz::utf16(data, size));
    velnor::MainForm form(input, QString());
    form.Form_Load();
    form.ProcessArguments(arguments);
    // The line monitor handles the edges that opening a port and switching DTR and RTS made.
    QCoreApplication::sendPostedEvents();

    const QString log = form.EventLog->text();
    require(log.count(u'\n') < 1000, "the log keeps at most 1000 lines");
    const auto pieces = velnor::SplitText(velnor::u16View(arguments), u" ");
    // Each argument logs its own line and at most three more, so 200 of them fit the log whole.
    if (pieces && pieces->size() <= 200 && arguments.size() <= form.kMaxArgumentsLength)
        require(argumentsLoggedInOrder(log, *pieces), "every argument is logged, in order");

    const auto& port = form.MSComm1;
    require(port.PortOpen() == !form.optComNone->isChecked(), "a port is open iff one is chosen");
    require(form.optDTROn->isChecked() == port.DTREnable(), "the DTR buttons tell the truth");
    require(form.optRTSOn->isChecked() == port.RTSEnable(), "the RTS buttons tell the truth");
    requireLineFollowed(*form.dsrHandler, *form.dsrFilter, port.PortOpen(), port.DSRHolding());
    requireLineFollowed(*form.ctsHandler, *form.ctsFilter, port.PortOpen(), port.CTSHolding());
    requireLineFollowed(*form.cdHandler, *form.cdFilter, port.PortOpen(), port.CDHolding());

    int cancel = 0;
    form.Form_Unload(cancel);
    return 0;
}
