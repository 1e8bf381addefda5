// Holds Shift and the left button through the XTest backend on the display named by the first
// argument, as Velnor holds an emulated key, until a termination signal ends it. Prints "holding"
// once both are down.
#include <QCoreApplication>
#include <cstdio>

#include "platform/termination.h"
#include "platform/x11/xtest_input.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    velnor::quitOnTerminationSignals(app);
    auto input = velnor::openXTestInput(argc > 1 ? argv[1] : nullptr);
    if (!input) {
        std::fprintf(stderr, "%s\n", qPrintable(input.error()));
        return 2;
    }
    (*input)->key(16, true);
    (*input)->mouseButton(velnor::MouseButton::Left, true);
    std::puts("holding");
    std::fflush(stdout);
    return app.exec();
}
