#include <QApplication>
#include <QStringList>

#include "main_window/main_form.h"
#include "platform/dde.h"
#include "platform/synthetic_input.h"
#include "platform/termination.h"

int main(int argc, char* argv[]) {
    // Every argument belongs to the program's own argument language, so Qt sees none of them;
    // the Qt platform is chosen with QT_QPA_PLATFORM instead.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    velnor::quitOnTerminationSignals(app);
    QApplication::setApplicationName(QStringLiteral("Velnor"));

    // The command channel goes last, after the input backend has let go of what it holds: its
    // bus may not answer.
    velnor::MainForm* formPointer = nullptr;
    velnor::DdeServer dde([&formPointer] { return formPointer->EventLog->text(); });
    velnor::InputBackend input = velnor::openInputBackend();
    velnor::MainForm form(*input.sink, arguments.join(u' '), &dde);
    formPointer = &form;
    if (!input.problem.isEmpty()) form.LogEvent(input.problem);
    form.Form_Load();
    if (form.handedOver()) return 0;
    form.show();
    return app.exec();
}
