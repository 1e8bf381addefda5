#include "support/velnor_process.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include "support/log_lines.h"
#include "support/session_bus.h"

namespace velnor::test {
namespace {

const QString kService = QStringLiteral("org.velnor.Velnor");

QDBusMessage topicCall(const QString& method) {
    return QDBusMessage::createMethodCall(kService, QStringLiteral("/MainForm"),
                                          QStringLiteral("org.velnor.Velnor.Topic"), method);
}

}  // namespace

VelnorProcess::VelnorProcess(const QStringList& arguments, const QProcessEnvironment& environment) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), sessionBusAddress());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("VELNOR_INPUT"), QStringLiteral("none"));
    env.insert(environment);
    process_.setProcessEnvironment(env);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QStringLiteral(VELNOR_BINARY), arguments);
    process_.waitForStarted();
}

VelnorProcess::~VelnorProcess() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) process_.kill();
    process_.waitForFinished();
}

int VelnorProcess::waitForExit(int ms) {
    if (!process_.waitForFinished(ms) && process_.state() != QProcess::NotRunning) return -1;
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

QProcessEnvironment loopbackOnX(const std::string& display) {
    QProcessEnvironment env;
    env.insert(QStringLiteral("DISPLAY"), QString::fromStdString(display));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("VELNOR_INPUT"), QStringLiteral("x11"));
    env.insert(QStringLiteral("VELNOR_COM1"), QStringLiteral("loopback"));
    return env;
}

QDBusConnection testBus() {
    static const QDBusConnection bus =
        QDBusConnection::connectToBus(sessionBusAddress(), QStringLiteral("velnor-test"));
    return bus;
}

bool waitForRunningCopy(int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!testBus().interface()->isServiceRegistered(kService)) {
        if (timer.elapsed() > ms) return false;
        QThread::msleep(20);
    }
    return true;
}

QStringList runningCopyLog() {
    const QDBusMessage reply = testBus().call(topicCall(QStringLiteral("EventLog")));
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return {};
    return messagesOfLog(reply.arguments().first().toString());
}

QDBusMessage executeCall(const QString& command) {
    QDBusMessage call = topicCall(QStringLiteral("Execute"));
    call << command;
    return call;
}

QString executeOnRunningCopy(const QString& command) {
    const QDBusMessage reply = testBus().call(executeCall(command));
    return reply.type() == QDBusMessage::ErrorMessage ? reply.errorMessage() : QString();
}

double residentMegabytes(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return 0;
}

}  // namespace velnor::test
