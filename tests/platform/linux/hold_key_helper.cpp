// Holds Shift and the left button through the input backend that VELNOR_INPUT names, as Velnor
// holds an emulated key, until a signal ends it. Prints "holding" once both are down.
#include <sys/resource.h>

#include <QCoreApplication>
#include <cstdio>

#include "platform/linux/synthetic_input.h"
#include "platform/linux/termination.h"
#include "platform/qt/event_loop.h"

int main(int argc, char* argv[]) {
    const rlimit noCore = {0, 0};  // the crashes the tests cause need no core files
    setrlimit(RLIMIT_CORE, &noCore);
    QCoreApplication app(argc, argv);
    velnor::quitOnTerminationSignals(app);
    velnor::QtEventLoop loop;
    const velnor::InputBackend input = velnor::openInputBackend(loop);
    if (input.name == u"none") {
        std::fprintf(stderr, "%s\n", qPrintable(QString::fromStdU16String(input.problem)));
        return 2;
    }
    input.sink->key(16, true);
    input.sink->mouseButton(velnor::MouseButton::Left, true);
    std::puts("holding");
    std::fflush(stdout);
    return app.exec();
}
