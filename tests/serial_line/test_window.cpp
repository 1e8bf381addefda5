#include "test_window.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QRadioButton>
#include <QThread>

namespace velnor {

ScriptedPort::ScriptedPort(ScriptedPorts& ports, QString device, PortListener& listener)
    : listener(listener), ports_(ports), device_(std::move(device)) {}

ScriptedPort::~ScriptedPort() {
    ports_.journal.append("close " + device_);
    if (ports_.open == this) ports_.open = nullptr;
}

void ScriptedPort::setDtr(bool on) {
    ports_.journal.append(on ? "DTR on" : "DTR off");
}

void ScriptedPort::setRts(bool on) {
    ports_.journal.append(on ? "RTS on" : "RTS off");
}

ModemLevels ScriptedPort::levels() {
    ++reads;
    if (queued.empty()) return steady;
    const ModemLevels next = queued.front();
    queued.pop_front();
    return next;
}

void ScriptedPorts::install(SerialControl& control) {
    control.setOpener([this](const QString& device, PortListener& listener) -> OpenResult {
        if (refused.contains(device))
            return std::unexpected(SerialError{device, "No such file or directory"});
        journal.append("open " + device);
        auto port = std::make_unique<ScriptedPort>(*this, device, listener);
        port->steady = levelsAtOpen;
        open = port.get();
        return port;
    });
}

TestWindow::TestWindow() : form(input, "") {
    ports.refused = {"/dev/ttyS2"};
    ports.install(form.MSComm1);
    form.Form_Load();
}

void TestWindow::notify(qint16 code) {
    ports.open->listener.lineChanged(code);
    QCoreApplication::processEvents();
}

QStringList TestWindow::newLog() {
    const QStringList all = logMessages(form);
    const QStringList added = all.mid(logged_);
    logged_ = all.size();
    return added;
}

QString TestWindow::selected(const QGroupBox& frame) {
    for (const QRadioButton* button : frame.findChildren<QRadioButton*>())
        if (button->isChecked()) return button->objectName();
    return {};
}

bool processEventsUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10'000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    return true;
}

}  // namespace velnor
