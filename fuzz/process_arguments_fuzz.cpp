// ProcessArguments on a fresh window whose four ports are the loopback port, with input dropped:
// whatever the arguments, each is logged in order, the log stays bounded, and the buttons, the
// port and the indicators agree once the line changes the arguments caused have been handled.
#include <QCoreApplication>
#include <cstdlib>

#include "commands/split_text.h"
#include "fuzz_support.h"
#include "main_window/event_log.h"
#include "main_window/main_form.h"
#include "platform/synthetic_input.h"
#include "signal_actions/signal_handler.h"

using velnor::fuzz::require;

namespace {

class DroppedInput final : public velnor::InputSink {
  public:
    void key(int, bool) override {}
    void mouseButton(velnor::MouseButton, bool) override {}
    void typeCharacter(char32_t) override {}
};

// The pieces' "arg" lines stand in the log newest first, each one line with its control characters
// shown; false if one is missing or out of order.
bool argumentsLoggedInOrder(const QString& log, const QStringList& pieces) {
    qsizetype at = 0;
    for (qsizetype i = pieces.size() - 1; i >= 0; --i) {
        const QString shown =
            QString::fromStdU16String(velnor::visibleControlCharacters(pieces[i].toStdU16String()));
        const QString line = QStringLiteral("  arg(%1) = ").arg(i + 1) + shown + QLatin1Char('\n');
        at = log.indexOf(line, at);
        if (at < 0) return false;
        at += line.size();
    }
    return true;
}

void requireLineFollowed(const velnor::SignalHandler& handler, bool portOpen, bool level) {
    require(handler.box()->fillColor() ==
                (handler.flag() ? velnor::kIndicatorOn : velnor::kIndicatorOff),
            "an indicator shows its handler's flag");
    if (portOpen) require(handler.flag() == level, "a handled line's flag is its level");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    for (const char* port : {"VELNOR_COM1", "VELNOR_COM2", "VELNOR_COM3", "VELNOR_COM4"})
        setenv(port, "loopback", 1);
    velnor::fuzz::startApplication();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static DroppedInput input;
    const QString arguments = velnor::fuzz::utf16(data, size);
    velnor::MainForm form(input, QString());
    form.Form_Load();
    form.ProcessArguments(arguments);
    // The line monitor handles the edges that opening a port and switching DTR and RTS made.
    QCoreApplication::sendPostedEvents();

    const QString log = form.EventLog->text();
    require(log.count(u'\n') < 1000, "the log keeps at most 1000 lines");
    const auto pieces = velnor::SplitText(arguments, QStringLiteral(" "));
    // Each argument logs its own line and at most three more, so 200 of them fit the log whole.
    if (pieces && pieces->size() <= 200 && arguments.size() <= form.kMaxArgumentsLength)
        require(argumentsLoggedInOrder(log, *pieces), "every argument is logged, in order");

    const auto& port = form.MSComm1;
    require(port.PortOpen() == !form.optComNone->isChecked(), "a port is open iff one is chosen");
    require(form.optDTROn->isChecked() == port.DTREnable(), "the DTR buttons tell the truth");
    require(form.optRTSOn->isChecked() == port.RTSEnable(), "the RTS buttons tell the truth");
    requireLineFollowed(*form.dsrHandler, port.PortOpen(), port.DSRHolding());
    requireLineFollowed(*form.ctsHandler, port.PortOpen(), port.CTSHolding());
    requireLineFollowed(*form.cdHandler, port.PortOpen(), port.CDHolding());

    int cancel = 0;
    form.Form_Unload(cancel);
    return 0;
}
