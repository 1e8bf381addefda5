#include "app/linux/window_main.h"

#include <fontconfig/fontconfig.h>
#include <malloc.h>

#include <QApplication>
#include <QDBusConnection>
#include <QFontDatabase>
#include <QScopeGuard>
#include <cstdio>
#include <cstdlib>
#include <latch>
#include <system_error>
#include <thread>
#include <utility>

#include "core/main_form.h"
#include "platform/dbus/dbus_channel.h"
#include "platform/linux/platform.h"
#include "platform/linux/synthetic_input.h"
#include "platform/linux/termination.h"
#include "platform/qt/event_loop.h"
#include "view/qt/form_view.h"

namespace {

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

extern "C" __attribute__((visibility("default"))) int velnor_window_main(
    char* argv[], const char16_t* commandLine) {
    // The threads allocate little, and seldom at once: they share the main thread's malloc arena
    // rather than each keeping one, with its free space, of their own.
    mallopt(M_ARENA_MAX, 1);
    // Opening input waits on the X server (its connection, extensions and keymap: 1 to 3 ms),
    // fontconfig reads its configuration at the first use of a font (about 6 ms), Qt then lists the
    // fonts, and the session bus is connected at the first use of the bus: the form waits for
    // input and the bus, the window for the fonts. A thread of their own readies input and
    // fontconfig beside Qt's start, the rest beside loading the form; they need the application.
    std::latch readied(1), started(1);
    velnor::EarlyInput early;
    std::jthread warmUp;
    try {
        warmUp = std::jthread([&readied, &started, &early] {
            FcInit();
            early = velnor::prepareInputBackend();
            readied.count_down();
            started.wait();
            QDBusConnection::sessionBus();
            QFontDatabase::families();
        });
    } catch (const std::system_error&) {
        // No thread to spare: each is done at its first use instead.
        readied.count_down();
    }
    int qtArgc = 1;
    const QtMessageHandler previous = qInstallMessageHandler(refuseWithoutDisplay);
    QApplication app(qtArgc, argv);
    qInstallMessageHandler(previous);
    started.count_down();
    // Done before the application goes, however the form ends.
    const auto warmedUp = qScopeGuard([&warmUp] {
        if (warmUp.joinable()) warmUp.join();
    });
    velnor::quitOnTerminationSignals(app);
    QApplication::setApplicationName(QStringLiteral("Velnor"));

    // The command channel goes last, after the input backend has let go of what it holds: its
    // bus may not answer. The event loop comes before the input backend, which injects from it
    // what has to wait, and so outlives it.
    velnor::DBusChannel channel;
    velnor::QtEventLoop loop;
    readied.wait();
    velnor::InputBackend input = velnor::openInputBackend(loop, std::move(early));
    velnor::MainForm form(velnor::linuxPlatform(*input.sink, loop, &channel), commandLine);
    if (!input.problem.empty()) form.LogEvent(input.problem);
    form.Form_Load();
    // Two starts that found no running copy at once: the one that lost the bus name hands over.
    if (form.handedOver()) {
        if (const auto& handed = form.handOverResult(); !handed)
            std::fprintf(stderr, "%s\n",
                         QString::fromStdU16String(velnor::handOverFailure(handed.error().reason))
                             .toLocal8Bit()
                             .constData());
        return 0;
    }
    // Built once the form has loaded: a second start that hands over builds no window, and the
    // view takes the filled key lists over at once rather than entry by entry.
    if (warmUp.joinable()) warmUp.join();
    velnor::QtFormView view(form);
    view.show();
    return app.exec();
}
