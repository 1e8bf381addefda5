// What the port buttons stand for, and the window's own settings: the "Port" frame's context menu
// assigns a device to each of COM1 to COM4 (kept per user), each button's hint names its device,
// and the menu copies the present configuration as a command line or makes it start at login.

#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QInputDialog>
#include <QMenu>
#include <QRadioButton>

#include "core/split_text.h"
#include "platform/linux/port_backend.h"
#include "platform/posix/serial_devices.h"
#include "platform/qt/text.h"
#include "platform/xdg/autostart.h"
#include "view/qt/form_view.h"

namespace velnor {
namespace {

OptionButton FormControls::*const kComButtons[] = {&FormControls::optCom1, &FormControls::optCom2,
                                                   &FormControls::optCom3, &FormControls::optCom4};

QString fromLocal(const std::string& text) {
    return QString::fromLocal8Bit(text);
}

// The arguments of the command line, one word each.
std::vector<std::string> argumentWords(const std::u16string& commandLine) {
    std::vector<std::string> words;
    if (const auto pieces = SplitText(commandLine, u" "))
        for (const std::u16string& piece : *pieces) words.push_back(toQString(piece).toStdString());
    return words;
}

// A word as a POSIX shell reads it back: quoted where it holds anything but plain characters.
QString shellWord(const QString& word) {
    static const QString plain =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_=+,./:@%");
    const bool quote =
        word.isEmpty() || std::ranges::any_of(word, [](QChar c) { return !plain.contains(c); });
    if (!quote) return word;
    QString quoted = word;
    quoted.replace(u'\'', QStringLiteral("'\\''"));
    return u'\'' + quoted + u'\'';
}

}  // namespace

void QtFormView::connectPortMenu() {
    auto* frame = static_cast<QGroupBox*>(widgetOf(form_.Port));
    frame->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(frame, &QWidget::customContextMenuRequested, this,
            [this, frame](QPoint at) { portMenu()->exec(frame->mapToGlobal(at)); });
    showPortDevices();
}

void QtFormView::showPortDevices() {
    for (int port = 1; port <= 4; ++port) {
        const std::string device = toQString(comPortDevice(port)).toStdString();
        widgetOf(form_.*kComButtons[port - 1])
            ->setToolTip(QStringLiteral("COM%1: %2. Right-click to choose its device.")
                             .arg(port)
                             .arg(fromLocal(posix::describeDevice(device))));
    }
}

void QtFormView::assignPort(int port, const QString& device) {
    posix::PortAssignments assignments;
    const QString what = device.isEmpty() ? QStringLiteral("its default device") : device;
    if (assignments.assign(port, device.toStdString()))
        form_.LogEvent(
            QStringLiteral("COM%1 now stands for %2").arg(port).arg(what).toStdU16String());
    else
        form_.LogEvent(QStringLiteral("COM%1 cannot be assigned to %2: %3 cannot be written")
                           .arg(port)
                           .arg(what, QString::fromStdString(assignments.file().string()))
                           .toStdU16String());
    showPortDevices();
}

std::unique_ptr<QMenu> QtFormView::portMenu() {
    auto menu = std::make_unique<QMenu>();
    const std::vector<posix::SerialDevice> devices = posix::listSerialDevices();
    const posix::PortAssignments assignments;
    for (int port = 1; port <= 4; ++port) {
        const std::string current = toQString(comPortDevice(port)).toStdString();
        QMenu* choices = menu->addMenu(
            QStringLiteral("COM%1: %2").arg(port).arg(fromLocal(posix::describeDevice(current))));
        const auto choose = [this, port](const QString& device) { assignPort(port, device); };
        for (const posix::SerialDevice& device : devices) {
            QAction* action = choices->addAction(fromLocal(device.description()));
            action->setCheckable(true);
            action->setChecked(device.path == current);
            action->setToolTip(fromLocal(device.path));
            const QString path = fromLocal(device.path);
            connect(action, &QAction::triggered, this, [choose, path] { choose(path); });
        }
        if (devices.empty())
            choices->addAction(QStringLiteral("No serial adapter found"))->setEnabled(false);
        choices->addSeparator();
        QAction* loopback = choices->addAction(QStringLiteral("Loopback plug (no hardware)"));
        loopback->setCheckable(true);
        loopback->setChecked(current == "loopback");
        connect(loopback, &QAction::triggered, this,
                [choose] { choose(QStringLiteral("loopback")); });
        connect(choices->addAction(QStringLiteral("Other device...")), &QAction::triggered, this,
                [this, choose, port, current] {
                    bool ok = false;
                    const QString path = QInputDialog::getText(
                        this, QStringLiteral("COM%1").arg(port),
                        QStringLiteral("The device COM%1 stands for:").arg(port), QLineEdit::Normal,
                        fromLocal(current), &ok);
                    if (ok && !path.trimmed().isEmpty()) choose(path.trimmed());
                });
        QAction* standard =
            choices->addAction(QStringLiteral("Default (/dev/ttyS%1)").arg(port - 1));
        standard->setEnabled(assignments.deviceOf(port).has_value());
        connect(standard, &QAction::triggered, this, [choose] { choose(QString()); });
    }
    menu->addSeparator();
    connect(menu->addAction(QStringLiteral("Copy command line")), &QAction::triggered, this,
            [this] { QApplication::clipboard()->setText(commandLineText()); });
    QAction* login = menu->addAction(QStringLiteral("Start at login with these settings"));
    login->setCheckable(true);
    login->setChecked(std::filesystem::exists(xdg::autostartFile()));
    connect(login, &QAction::toggled, this, [this](bool on) { startAtLogin(on); });
    return menu;
}

QString QtFormView::commandLineText() const {
    QStringList words{shellWord(QCoreApplication::applicationFilePath())};
    for (const std::string& word : argumentWords(form_.commandLine()))
        words.append(shellWord(QString::fromStdString(word)));
    return words.join(u' ');
}

void QtFormView::startAtLogin(bool on) {
    const std::filesystem::path file = xdg::autostartFile();
    if (!on) {
        std::error_code error;
        std::filesystem::remove(file, error);
        form_.LogEvent(u"Velnor no longer starts at login");
        return;
    }
    std::vector<std::string> arguments{"-minimize"};
    for (std::string& word : argumentWords(form_.commandLine()))
        arguments.push_back(std::move(word));
    if (xdg::writeAutostart(file, QCoreApplication::applicationFilePath().toStdString(), arguments))
        form_.LogEvent(QStringLiteral("Velnor starts at login with these settings (%1)")
                           .arg(QString::fromStdString(file.string()))
                           .toStdU16String());
    else
        form_.LogEvent(QStringLiteral("Start at login cannot be set: %1 cannot be written")
                           .arg(QString::fromStdString(file.string()))
                           .toStdU16String());
}

}  // namespace velnor
