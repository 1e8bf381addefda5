#include <QApplication>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "core/arguments.h"
#include "core/main_form.h"
#include "platform/dbus/dbus_channel.h"
#include "platform/linux/platform.h"
#include "platform/linux/synthetic_input.h"
#include "platform/linux/termination.h"
#include "platform/qt/event_loop.h"
#include "view/qt/form_view.h"

namespace {

constexpr char16_t kEnvironment[] =
    u"Environment: VELNOR_COM1..VELNOR_COM4 (a device path or loopback), VELNOR_INPUT\n"
    u"(auto, x11, uinput, none), QT_QPA_PLATFORM. See the README for more.\n";

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
    // Every argument belongs to the program's own argument language, so Qt sees none of them;
    // the Qt platform is chosen with QT_QPA_PLATFORM instead.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
    const std::u16string commandLine = arguments.join(u' ').toStdU16String();
    // Answered before any display is touched.
    switch (velnor::startRequest(commandLine)) {
        case velnor::StartRequest::Version:
            std::printf("velnor %s\n", VELNOR_VERSION);
            return EXIT_SUCCESS;
        case velnor::StartRequest::Help:
            std::fputs(QString::fromStdU16String(velnor::helpText(kEnvironment)).toLocal8Bit(),
                       stdout);
            return EXIT_SUCCESS;
        case velnor::StartRequest::Run:
            break;
    }
    int qtArgc = 1;
    const QtMessageHandler previous = qInstallMessageHandler(refuseWithoutDisplay);
    QApplication app(qtArgc, argv);
    qInstallMessageHandler(previous);
    velnor::quitOnTerminationSignals(app);
    QApplication::setApplicationName(QStringLiteral("Velnor"));

    // The command channel goes last, after the input backend has let go of what it holds: its
    // bus may not answer. The event loop comes before the input backend, which injects from it
    // what has to wait, and so outlives it.
    velnor::DBusChannel channel;
    velnor::QtEventLoop loop;
    velnor::InputBackend input = velnor::openInputBackend(loop);
    velnor::MainForm form(velnor::linuxPlatform(*input.sink, loop, &channel), commandLine);
    if (!input.problem.empty()) form.LogEvent(input.problem);
    form.Form_Load();
    if (form.handedOver()) {
        if (const auto& handed = form.handOverResult(); !handed)
            std::fprintf(
                stderr, "Velnor is already running but did not take the command line: %s\n",
                QString::fromStdU16String(handed.error().reason).toLocal8Bit().constData());
        return 0;
    }
    // Built once the form has loaded: a second start that hands over builds no window, and the
    // view takes the filled key lists over at once rather than entry by entry.
    velnor::QtFormView view(form);
    view.show();
    return app.exec();
}
