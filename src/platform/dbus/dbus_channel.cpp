#include "platform/dbus/dbus_channel.h"

#include <dbus/dbus.h>

#include <QDBusAbstractAdaptor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <limits>

#include "platform/dbus/hand_over.h"

namespace velnor {
namespace {

const QString kService = QString::fromLatin1(dbus::kService);
const QString kPath = QString::fromLatin1(dbus::kPath);
const QString kInterface = QString::fromLatin1(dbus::kInterface);

// What a call to the running copy that failed with `error` means to the caller.
ProblemKind kindOf(const QDBusError& error) {
    switch (error.type()) {
        case QDBusError::ServiceUnknown:  // no copy holds the name
            return ProblemKind::Missing;
        case QDBusError::NoReply:
        case QDBusError::Timeout:
        case QDBusError::TimedOut:
            return ProblemKind::TimedOut;
        case QDBusError::AccessDenied:
            return ProblemKind::Permission;
        case QDBusError::Disconnected:
            return ProblemKind::Gone;
        default:  // the running copy refused the command
            return ProblemKind::Other;
    }
}

}  // namespace

// The object that D-Bus calls reach. Every call is a conversation of its own: it is opened, and
// only if accepted is the command executed.
class TopicAdaptor : public QDBusAbstractAdaptor {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.velnor.Velnor.Topic")
    // What scripts may read: the open port ("COM2 (/dev/ttyUSB0)", empty for none) and whether
    // each line is on, after its polarity.
    Q_PROPERTY(QString Port READ port)
    Q_PROPERTY(bool DSR READ dsr)
    Q_PROPERTY(bool CTS READ cts)
    Q_PROPERTY(bool CD READ cd)
    Q_PROPERTY(bool RI READ ri)
  public:
    explicit TopicAdaptor(DBusChannel& channel)
        : QDBusAbstractAdaptor(&channel), channel_(channel) {}

    QString port() const {
        const auto& read = channel_.topic_.port;
        return read ? QString::fromStdU16String(read()) : QString();
    }
    bool dsr() const { return lineOn(u"DSR"); }
    bool cts() const { return lineOn(u"CTS"); }
    bool cd() const { return lineOn(u"CD"); }
    bool ri() const { return lineOn(u"RI"); }

  Q_SIGNALS:
    // A line went on or off ("DSR", "CTS", "CD" or "RI").
    void LineChanged(const QString& line, bool on);

  public Q_SLOTS:
    void Execute(const QString& command, const QDBusMessage& message) {
        const CommandChannel::Topic& topic = channel_.topic_;
        int cancel = 0;
        if (topic.linkOpen) topic.linkOpen(cancel);
        if (cancel == 0 && topic.linkExecute) topic.linkExecute(command.toStdU16String(), cancel);
        if (cancel == 0) return;
        message.setDelayedReply(true);
        QDBusConnection::sessionBus().send(message.createErrorReply(
            QStringLiteral("org.velnor.Velnor.Error.Refused"),
            QStringLiteral("The command was not applied; the event log says why")));
    }
    QString EventLog() {
        const CommandChannel::Topic& topic = channel_.topic_;
        return topic.eventLog ? QString::fromStdU16String(topic.eventLog()) : QString();
    }
    // Brings the window to the front; a second start without arguments asks for it.
    void Show() {
        if (channel_.topic_.show) channel_.topic_.show();
    }

  private:
    bool lineOn(std::u16string_view line) const {
        const auto& read = channel_.topic_.lineOn;
        return read && read(line);
    }

    DBusChannel& channel_;
};

DBusChannel::DBusChannel() : adaptor_(new TopicAdaptor(*this)) {}

// Gives the name back without waiting for the bus, which may not answer (a stopped bus must not
// hold up the end of the program); the bus also frees it when the connection goes.
DBusChannel::~DBusChannel() {
    if (!registered_) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(kPath);
    QDBusMessage release = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("ReleaseName"));
    release << kService;
    release.setAutoStartService(false);
    bus.send(release);
}

DBusChannel::Claim DBusChannel::claim(Topic topic) {
    topic_ = std::move(topic);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        problem_ = {ProblemKind::Missing,
                    QStringLiteral("No D-Bus session bus (%1): other programs and a second start "
                                   "cannot reach this copy")
                        .arg(bus.lastError().message())
                        .toStdU16String()};
        return Claim::Unavailable;
    }
    // libdbus stops reading a connection whose received messages not yet freed exceed its limit
    // (63 MiB), and reads on once they are freed; QtDBus frees a call on the thread that handled
    // it, while only its own thread may switch its socket notifiers back on, so one message that
    // large would leave the connection deaf for good. Without the limit it never stops reading;
    // the bus bounds what it holds for us.
    auto* connection = static_cast<DBusConnection*>(bus.internalPointer());
    dbus_connection_set_max_received_size(connection, std::numeric_limits<long>::max());
    dbus_connection_set_max_received_unix_fds(connection, std::numeric_limits<long>::max());
    // The object is in place before the name is taken, so no caller ever finds the name without it.
    if (!bus.registerObject(kPath, this)) {
        problem_ = {
            ProblemKind::Other,
            QStringLiteral("Cannot serve %1 on the session bus").arg(kPath).toStdU16String()};
        return Claim::Unavailable;
    }
    if (!bus.registerService(kService)) {
        bus.unregisterObject(kPath);
        return Claim::AnotherCopyRuns;
    }
    registered_ = true;
    return Claim::Owner;
}

Result<> DBusChannel::execute(const std::u16string& command) {
    return call(QStringLiteral("Execute"), {QString::fromStdU16String(command)});
}

Result<> DBusChannel::show() {
    return call(QStringLiteral("Show"), {});
}

void DBusChannel::announceLine(std::u16string_view line, bool on) {
    if (registered_)
        Q_EMIT adaptor_->LineChanged(QString::fromUtf16(line.data(), qsizetype(line.size())), on);
}

Result<> DBusChannel::call(const QString& method, const QVariantList& arguments) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return std::unexpected(
            Problem{ProblemKind::Missing, bus.lastError().message().toStdU16String()});
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kInterface, method);
    call.setArguments(arguments);
    const QDBusMessage reply = bus.call(call, QDBus::Block, dbus::kCallTimeoutMs);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        const QDBusError error(reply);
        return std::unexpected(Problem{kindOf(error), error.message().toStdU16String()});
    }
    return {};
}

}  // namespace velnor

#include "dbus_channel.moc"
