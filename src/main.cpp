#include <QApplication>
#include <QStringList>

#include "main_window/main_form.h"
#include "platform/synthetic_input.h"
#include "platform/termination.h"

int main(int argc, char* argv[]) {
    // Every argument belongs to the program's own argument language, so Qt sees none of them.
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments.append(QString::fromLocal8Bit(argv[i]));
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    velnor::quitOnTerminationSignals(app);

    velnor::InputBackend input = velnor::openInputBackend();
    velnor::MainForm form(*input.sink, arguments.join(u' '));
    if (!input.problem.isEmpty()) form.LogEvent(input.problem);
    form.Form_Load();
    form.show();
    return app.exec();
}
