#include "platform/portal/portal_input.h"

#include <QDBusArgument>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusServiceWatcher>
#include <QObject>
#include <set>
#include <utility>

#include "core/text.h"
#include "platform/linux/key_map.h"
#include "platform/posix/user_value.h"

namespace velnor {
namespace {

const QString kService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString kRemoteDesktop = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString kRequest = QStringLiteral("org.freedesktop.portal.Request");
const QString kSession = QStringLiteral("org.freedesktop.portal.Session");
const QString kKeysym = QStringLiteral("NotifyKeyboardKeysym");
const QString kButton = QStringLiteral("NotifyPointerButton");
constexpr char kTokenName[] = "portal-restore-token";

// Device types and persist modes of the interface.
constexpr uint kKeyboard = 1;
constexpr uint kPointer = 2;
constexpr uint kUntilRevoked = 2;

// How long the portal may take over a call that shows no dialog: the first one may start it.
constexpr int kCallTimeout = 5000;
// How long the end waits for the session's close, which also sees the releases before it out.
constexpr int kCloseTimeout = 1000;

constexpr char16_t kAskAgain[] = u"; \"Ask the desktop for input\" in the Port menu asks again";
// The layout characters are typed on is the desktop's own, which the program does not know.
constexpr char16_t kDesktopLayout[] = u"desktop's";

// What the desktop offers: the interface's version and the device types it can control.
struct Offer {
    uint version = 0;
    uint deviceTypes = 0;
};

// The calls that set a session up, in their order; each is answered by its request's Response.
enum class Step { CreateSession, SelectDevices, Start };

QString methodOf(Step step) {
    switch (step) {
        case Step::CreateSession:
            return QStringLiteral("CreateSession");
        case Step::SelectDevices:
            return QStringLiteral("SelectDevices");
        case Step::Start:
            return QStringLiteral("Start");
    }
    return {};
}

// A token for a request or a session handle, unique among this process's.
QString newToken() {
    static int count = 0;
    return QStringLiteral("velnor%1").arg(++count);
}

QDBusObjectPath handleOf(const QVariant& value) {
    // The interface documents an object path; portals send it as a string.
    if (value.userType() == qMetaTypeId<QDBusObjectPath>()) return value.value<QDBusObjectPath>();
    return QDBusObjectPath(value.toString());
}

class PortalInput final : public QObject, public InputSink {
    Q_OBJECT
  public:
    PortalInput(const QDBusConnection& bus, Offer offer)
        : bus_(bus),
          offer_(offer),
          watcher_(kService, bus_, QDBusServiceWatcher::WatchForUnregistration) {
        connect(&watcher_, &QDBusServiceWatcher::serviceUnregistered, this,
                [this] { end(u"The desktop's portal left the session bus"); });
        ask();
    }

    ~PortalInput() override {
        if (state_ == State::Started) {
            for (const int keysym : keys_) notify(kKeysym, keysym, false);
            for (const int button : buttons_) notify(kButton, button, false);
        }
        // Ends the session, or the request still asking for one (its dialog goes with it). Waited
        // for: the program may end next, and what was sent before it has then reached the portal.
        if (state_ == State::Ended || (session_.path().isEmpty() && request_.isEmpty())) return;
        const bool session = !session_.path().isEmpty();
        bus_.call(
            QDBusMessage::createMethodCall(kService, session ? session_.path() : request_,
                                           session ? kSession : kRequest, QStringLiteral("Close")),
            QDBus::Block, kCloseTimeout);
    }
    PortalInput(const PortalInput&) = delete;
    PortalInput& operator=(const PortalInput&) = delete;

    void key(int virtualKey, bool down) override {
        if (const KeyMapEntry* entry = findKey(virtualKey))
            send(kKeysym, int(entry->keysym), down, keys_);
    }

    void mouseButton(MouseButton button, bool down) override {
        send(kButton, findButton(button).evdevCode, down, buttons_);
    }

    void typeCharacter(char32_t character) override {
        const uint32_t keysym = characterKeysym(character);
        // A control character without a key of its own comes back as a keysym no layout has.
        if (keysym == 0 || (keysym >= 0x01000000 && character < 0xa0))
            return characterUntyped(character, kDesktopLayout);
        send(kKeysym, int(keysym), true, keys_);
        send(kKeysym, int(keysym), false, keys_);
    }

    // Asking again is the user's choice alone: a pedal pressed meanwhile never brings a dialog up.
    Menu menu() override {
        if (state_ == State::Started) return {};
        const bool asking = state_ == State::Asking;
        return {{.text = u"Ask the desktop for input",
                 .toolTip = asking ? u"The desktop is asking already: answer its dialog"
                                   : u"The desktop asks, in a dialog, whether Velnor may send "
                                     u"keys and mouse buttons",
                 .enabled = !asking,
                 .chosen = [this](std::u16string_view) {
                     if (state_ == State::Ended) ask();
                 }}};
    }

  private Q_SLOTS:
    void answered(uint code, const QVariantMap& results, const QDBusMessage& message) {
        if (message.path() != request_) return;
        listen({});
        if (code != 0) {
            if (!session_.path().isEmpty())
                bus_.send(QDBusMessage::createMethodCall(kService, session_.path(), kSession,
                                                         QStringLiteral("Close")));
            return end(code == 1 ? u"The desktop's dialog was cancelled: Velnor may send no input"
                                 : u"The desktop refused input");
        }
        switch (step_) {
            case Step::CreateSession:
                session_ = handleOf(results.value(QStringLiteral("session_handle")));
                bus_.connect(kService, session_.path(), kSession, QStringLiteral("Closed"), this,
                             SLOT(sessionClosed()));
                return selectDevices();
            case Step::SelectDevices:
                return request(Step::Start, {QVariant::fromValue(session_), QString()}, {});
            case Step::Start:
                return started(results);
        }
    }

    void sessionClosed() {
        end(u"The desktop ended the input session (it does when the screen locks, or when input "
            u"is stopped at the desktop)");
    }

    void eventSent() { injectionWorked(); }
    void eventRefused(const QDBusError& error) {
        injectionFailed(u"The desktop's portal refused an event (" +
                        error.message().toStdU16String() + u"): key and mouse events are lost");
    }

  private:
    enum class State { Asking, Started, Ended };

    void ask() {
        state_ = State::Asking;
        toldDropped_ = false;
        request(Step::CreateSession, {}, {{QStringLiteral("session_handle_token"), newToken()}});
    }

    void selectDevices() {
        QVariantMap options{{QStringLiteral("types"), kKeyboard | (offer_.deviceTypes & kPointer)}};
        if (offer_.version >= 2) {
            options[QStringLiteral("persist_mode")] = kUntilRevoked;
            if (const auto token = posix::userValue(kTokenName))
                options[QStringLiteral("restore_token")] = QString::fromStdString(*token);
        }
        request(Step::SelectDevices, {QVariant::fromValue(session_)}, options);
    }

    void started(const QVariantMap& results) {
        state_ = State::Started;
        toldDropped_ = false;
        tell(u"The desktop allows input: keys and mouse buttons go to the focused window");
        if (offer_.version < 2) return;
        // Used once: the next session needs the new one, and none when the user declined to keep
        // the answer.
        const QString token = results.value(QStringLiteral("restore_token")).toString();
        if (const auto kept = posix::keepUserValue(kTokenName, token.toStdString()); !kept)
            tell(u"The desktop's answer cannot be kept for the next start (" +
                 fromUtf8(kept.error()) + u"): it asks again then");
    }

    // Calls `step` with `arguments` and then `options`, listening first for the Response of its
    // request where the portal will put it, so that no answer can come before the listening.
    void request(Step step, QVariantList arguments, QVariantMap options) {
        const QString token = newToken();
        options[QStringLiteral("handle_token")] = token;
        const QString predicted =
            QStringLiteral("%1/request/%2/%3")
                .arg(kPath, bus_.baseService().mid(1).replace(u'.', u'_'), token);
        listen(predicted);
        step_ = step;
        QDBusMessage call =
            QDBusMessage::createMethodCall(kService, kPath, kRemoteDesktop, methodOf(step));
        call.setArguments(arguments << options);
        auto* reply = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeout), this);
        connect(reply, &QDBusPendingCallWatcher::finished, this,
                [this, predicted](QDBusPendingCallWatcher* watcher) {
                    watcher->deleteLater();
                    if (request_ != predicted) return;  // ended meanwhile
                    const QDBusPendingReply<QDBusObjectPath> handle = *watcher;
                    if (handle.isError())
                        return end(u"The desktop's portal refused to set up an input session (" +
                                   handle.error().message().toStdU16String() + u")");
                    // Portals before version 0.9 put the request elsewhere.
                    if (handle.value().path() != predicted) listen(handle.value().path());
                });
    }

    // Listens for the Response on `path` alone (none for an empty path).
    void listen(const QString& path) {
        if (!request_.isEmpty())
            bus_.disconnect(kService, request_, kRequest, QStringLiteral("Response"), this,
                            SLOT(answered(uint, QVariantMap, QDBusMessage)));
        request_ = path;
        if (!request_.isEmpty())
            bus_.connect(kService, request_, kRequest, QStringLiteral("Response"), this,
                         SLOT(answered(uint, QVariantMap, QDBusMessage)));
    }

    // No session any more: what it held is gone with it, and nothing can be sent to release it.
    void end(const std::u16string& why) {
        if (state_ == State::Ended) return;
        listen({});
        if (!session_.path().isEmpty())
            bus_.disconnect(kService, session_.path(), kSession, QStringLiteral("Closed"), this,
                            SLOT(sessionClosed()));
        session_ = {};
        const bool held = !keys_.empty() || !buttons_.empty();
        keys_.clear();
        buttons_.clear();
        state_ = State::Ended;
        toldDropped_ = true;  // the line below says so
        tell(why + u"; key and mouse events are dropped" +
             (held ? u", and the keys and buttons held were let go with the session" : u"") +
             kAskAgain);
    }

    // Sends a press or release of `code` and follows it in `held`. A release whose press was
    // dropped is dropped too: the desktop never sees a release it did not see pressed.
    void send(const QString& method, int code, bool down, std::set<int>& held) {
        if (state_ != State::Started) return dropped();
        if (down)
            held.insert(code);
        else if (held.erase(code) == 0)
            return;
        notify(method, code, down);
    }

    void notify(const QString& method, int code, bool down) {
        QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kRemoteDesktop, method);
        call.setArguments({QVariant::fromValue(session_), QVariantMap(), code, uint(down)});
        bus_.callWithCallback(call, this, SLOT(eventSent()), SLOT(eventRefused(QDBusError)));
    }

    void dropped() {
        if (std::exchange(toldDropped_, true)) return;
        tell(u"Key and mouse events are dropped until the desktop allows input: answer its dialog");
    }

    QDBusConnection bus_;
    Offer offer_;
    QDBusServiceWatcher watcher_;
    State state_ = State::Asking;
    Step step_ = Step::CreateSession;
    QString request_;           // the request whose Response is awaited, or empty
    QDBusObjectPath session_;   // once created
    bool toldDropped_ = false;  // since the session started or ended
    std::set<int> keys_;        // keysyms held
    std::set<int> buttons_;     // button codes held
};

std::unexpected<Problem> refused(ProblemKind kind, const QString& why) {
    return std::unexpected(
        Problem{kind, ("RemoteDesktop portal cannot inject input: " + why).toStdU16String()});
}

}  // namespace

Result<std::unique_ptr<InputSink>> openPortalInput(const QDBusConnection& bus, QStringList& told) {
    if (!bus.isConnected())
        return refused(ProblemKind::Missing, "no session bus to reach the desktop on (" +
                                                 bus.lastError().message() + ")");
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("GetAll"));
    get << kRemoteDesktop;
    const QDBusMessage reply = bus.call(get, QDBus::Block, kCallTimeout);
    if (reply.type() == QDBusMessage::ErrorMessage) {
        switch (QDBusError(reply).type()) {
            case QDBusError::ServiceUnknown:
                return refused(ProblemKind::Missing, "the desktop offers no portal (" + kService +
                                                         " is not on the session bus)");
            case QDBusError::UnknownObject:
            case QDBusError::UnknownInterface:
            case QDBusError::UnknownMethod:
            case QDBusError::InvalidArgs:
                break;  // a portal without the interface
            default:
                return refused(ProblemKind::Other, "the desktop's portal does not answer (" +
                                                       reply.errorMessage() + ")");
        }
    }
    const auto properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    const Offer offer{properties.value(QStringLiteral("version")).toUInt(),
                      properties.value(QStringLiteral("AvailableDeviceTypes")).toUInt()};
    if (offer.version == 0)
        return refused(ProblemKind::Missing,
                       "the desktop's portal has no RemoteDesktop interface (GNOME's and KDE's "
                       "portals have it)");
    if (!(offer.deviceTypes & kKeyboard))
        return refused(ProblemKind::Missing,
                       "the desktop's RemoteDesktop portal offers no keyboard");
    if (offer.version == 1)
        told << "the desktop asks in a dialog whether Velnor may send input, at every start (its "
                "RemoteDesktop portal is version 1)";
    else if (!posix::userValue(kTokenName))
        told << "the desktop asks once in a dialog whether Velnor may send input, and its answer "
                "is kept";
    return std::make_unique<PortalInput>(bus, offer);
}

}  // namespace velnor

#include "portal_input.moc"
