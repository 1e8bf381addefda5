#include "support/fake_portal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVirtualObject>
#include <atomic>

namespace velnor::test {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kRemoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");

// Where the portal puts the object of a request or a session: its kind, the caller, its token.
QString objectPath(const char* kind, const QDBusMessage& call, const QString& token) {
    return QStringLiteral("%1/%2/%3/%4")
        .arg(kPath, QLatin1String(kind), call.service().mid(1).replace(u'.', u'_'), token);
}

}  // namespace

class FakePortal::Object final : public QDBusVirtualObject {
  public:
    explicit Object(FakePortal& portal) : portal_(portal) {}

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& call, const QDBusConnection& connection) override {
        const QString member = call.member();
        if (call.interface() == u"org.freedesktop.DBus.Properties" && member == u"GetAll") {
            connection.send(call.createReply(QVariant::fromValue(
                QVariantMap{{QStringLiteral("version"), portal_.version_},
                            {QStringLiteral("AvailableDeviceTypes"), uint(7)}})));
            return true;
        }
        if (member == u"Close") {
            record(call.interface().endsWith(u"Session") ? "Close session" : "Close request", {});
            connection.send(call.createReply());
            return true;
        }
        if (call.interface() != kRemoteDesktop) return false;
        if (member.startsWith(u"Notify")) {
            const QVariantList arguments = call.arguments();
            {
                const std::scoped_lock lock(portal_.mutex_);
                portal_.events_ << QStringLiteral("%1 %2 %3")
                                       .arg(member == u"NotifyKeyboardKeysym" ? "keysym" : "button")
                                       .arg(arguments.value(2).toInt())
                                       .arg(arguments.value(3).toUInt());
            }
            portal_.arrived_.notify_all();
            connection.send(call.createReply());
            return true;
        }
        const auto options = qdbus_cast<QVariantMap>(call.arguments().constLast());
        record(member, options);
        const QString request =
            objectPath("request", call, options.value("handle_token").toString());
        connection.send(call.createReply(QVariant::fromValue(QDBusObjectPath(request))));

        uint code = 0;
        QVariantMap results;
        if (member == u"CreateSession") {
            const QString session =
                objectPath("session", call, options.value("session_handle_token").toString());
            const std::scoped_lock lock(portal_.mutex_);
            portal_.session_ = session;
            results[QStringLiteral("session_handle")] = session;
        } else if (member == u"Start") {
            const std::scoped_lock lock(portal_.mutex_);
            code = portal_.answer_;
            results[QStringLiteral("devices")] = uint(3);
            if (portal_.version_ >= 2 && code == 0) {
                static std::atomic<int> tokens = 0;
                portal_.lastToken_ = QStringLiteral("token%1").arg(++tokens);
                results[QStringLiteral("restore_token")] = portal_.lastToken_;
            }
        }
        QDBusMessage response =
            QDBusMessage::createSignal(request, "org.freedesktop.portal.Request", "Response");
        response << code << results;
        connection.send(response);
        return true;
    }

  private:
    void record(const QString& method, const QVariantMap& options) {
        const std::scoped_lock lock(portal_.mutex_);
        portal_.calls_.push_back({method, options});
    }

    FakePortal& portal_;
};

FakePortal::FakePortal(const QString& address, uint version)
    : version_(version),
      connection_(QDBusConnection::connectToBus(
          address, QStringLiteral("fake-portal-%1").arg(quintptr(this)))),
      object_(std::make_unique<Object>(*this)) {
    // Registered first: registering gives the object a child, which moves with it.
    serving_ = connection_.registerVirtualObject(kPath, object_.get(), QDBusConnection::SubPath);
    thread_.start();
    object_->moveToThread(&thread_);
    serving_ = serving_ && connection_.registerService(kService);
}

FakePortal::~FakePortal() {
    connection_.unregisterObject(kPath, QDBusConnection::UnregisterTree);
    leave();
    QDBusConnection::disconnectFromBus(connection_.name());
    thread_.quit();
    thread_.wait();
}

void FakePortal::setAnswer(uint code) {
    const std::scoped_lock lock(mutex_);
    answer_ = code;
}

std::vector<FakePortal::Call> FakePortal::calls() const {
    const std::scoped_lock lock(mutex_);
    return calls_;
}

QStringList FakePortal::events() const {
    const std::scoped_lock lock(mutex_);
    return events_;
}

bool FakePortal::awaitEvents(qsizetype count, std::chrono::milliseconds limit) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, limit, [&] { return events_.size() >= count; });
}

QString FakePortal::lastToken() const {
    const std::scoped_lock lock(mutex_);
    return lastToken_;
}

void FakePortal::closeSession() {
    QString session;
    {
        const std::scoped_lock lock(mutex_);
        session = session_;
    }
    QDBusMessage closed =
        QDBusMessage::createSignal(session, "org.freedesktop.portal.Session", "Closed");
    closed << QVariantMap();
    connection_.send(closed);
}

void FakePortal::leave() {
    if (std::exchange(serving_, false)) connection_.unregisterService(kService);
}

}  // namespace velnor::test
