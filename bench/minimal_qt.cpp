// The reference for start-up, memory and idle wake-ups: the least a Qt Widgets program does to
// show a window, built with the same compiler and flags as the program. By default it is Qt's
// "Hello world", a label; with --empty an empty window, which never loads a font.
#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <memory>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const bool empty = QApplication::arguments().contains(QStringLiteral("--empty"));
    const auto window = empty ? std::make_unique<QWidget>()
                              : std::make_unique<QLabel>(QStringLiteral("Hello world!"));
    window->setWindowTitle(QStringLiteral("Minimal Qt Widgets"));
    window->show();
    return app.exec();
}
