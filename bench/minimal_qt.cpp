// The reference for start-up, memory and idle wake-ups: the least a Qt Widgets program does to
// show a window, built with the same compiler and flags as the program.
#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Minimal Qt Widgets"));
    window.show();
    return app.exec();
}
