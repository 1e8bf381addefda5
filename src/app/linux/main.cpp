#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "core/main_form.h"
#include "platform/dbus/dbus_channel.h"
#include "platform/linux/platform.h"
#include "platform/linux/synthetic_input.h"
#include "platform/linux/termination.h"
#include "platform/qt/event_loop.h"
#include "view/qt/form_view.h"

namespace {

constexpr char kHelp[] =
    "Usage: velnor [ARGUMENT...]\n"
    "Turns the modem-status lines of a serial port (DSR, CTS, CD, RI) into keys and mouse "
    "buttons.\n"
    "\n"
    "Arguments, applied in order after the defaults (a running copy takes them over):\n"
    "  -port=none|com1|com2|com3|com4   release the port, or open COM1 to COM4\n"
    "  -dtr, -rts, -dtrOff, -rtsOff     switch DTR or RTS on or off\n"
    "  -dsrMode=, -ctsMode=, -cdMode=   emulateKey, sendKeys or generateKeys\n"
    "  -dsrEmulateKey=NAME (cts, cd)    the key held while the line is on, e.g. vbKeyShift\n"
    "  -dsrSendKeys=TEXT (cts, cd)      the SendKeys string typed when the line comes on\n"
    "  -dsrSendKeys%=TEXT (cts, cd)     the same, spaces written %20, '%' %25, '=' %3D\n"
    "  -dsrGenerateKeys=KEYS (cts, cd)  key names played when the line comes on\n"
    "  -dsrDebounce=MS (cts, cd)        settle time of the line, 0 to 1000 ms\n"
    "  -dsrPolarity=normal|inverted     (cts, cd) inverted for normally closed switches\n"
    "  -minimize                        start minimised\n"
    "  --help, --version                print this text or the version and end\n"
    "\n"
    "Environment: VELNOR_COM1..VELNOR_COM4 (a device path or loopback), VELNOR_INPUT\n"
    "(auto, x11, uinput, none), QT_QPA_PLATFORM. See the README for more.\n";

constexpr char kNoDisplay[] =
    "velnor: no display to show the window on: run it in a desktop session (X11 with DISPLAY, or "
    "Wayland with WAYLAND_DISPLAY), or choose a Qt platform with QT_QPA_PLATFORM (for example "
    "QT_QPA_PLATFORM=offscreen)\n";

// The window needs a display; without one Qt would abort with a core dump and advice about
// reinstalling. Says what is missing in one line instead.
void refuseWithoutDisplay(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) return;  // Qt's warnings about the display lead up to the fatal one
    std::fputs(message.contains(u"platform plugin") ? kNoDisplay : qPrintable(message + u'\n'),
               stderr);
    std::_Exit(EXIT_FAILURE);
}

}  // namespace

int main(int argc, char* argv[]) {
    // These two stand outside the argument language, whose options start with one dash, and are
    // answered before any display is touched.
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--version") {
            std::printf("velnor %s\n", VELNOR_VERSION);
            return EXIT_SUCCESS;
        }
        if (std::string_view(argv[i]) == "--help") {
            std::fputs(kHelp, stdout);
            return EXIT_SUCCESS;
        }
    }
    // Every argument belongs to the program's own argument language, so Qt sees none of them;
    // the Qt platform is chosen with QT_QPA_PLATFORM instead.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
    int qtArgc = 1;
    const QtMessageHandler previous = qInstallMessageHandler(refuseWithoutDisplay);
    QApplication app(qtArgc, argv);
    qInstallMessageHandler(previous);
    velnor::quitOnTerminationSignals(app);
    QApplication::setApplicationName(QStringLiteral("Velnor"));

    // The command channel goes last, after the input backend has let go of what it holds: its
    // bus may not answer.
    velnor::DBusChannel channel;
    velnor::InputBackend input = velnor::openInputBackend();
    velnor::QtEventLoop loop;
    velnor::MainForm form(velnor::linuxPlatform(*input.sink, loop, &channel),
                          arguments.join(u' ').toStdU16String());
    if (!input.problem.isEmpty()) form.LogEvent(input.problem.toStdU16String());
    form.Form_Load();
    if (form.handedOver()) {
        if (const auto& problem = form.handOverProblem())
            std::fprintf(stderr,
                         "Velnor is already running but did not take the command line: %s\n",
                         QString::fromStdU16String(*problem).toLocal8Bit().constData());
        return 0;
    }
    // Built once the form has loaded: a second start that hands over builds no window, and the
    // view takes the filled key lists over at once rather than entry by entry.
    velnor::QtFormView view(form);
    view.show();
    return app.exec();
}
