#include "platform/linux/typing_layout.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QSocketNotifier>
#include <utility>

#include "platform/posix/user_value.h"
#include "platform/wayland/compositor_keymap.h"

namespace velnor {
namespace {

// systemd starts localed on demand, which may take a moment on a busy machine.
constexpr int kLocaleTimeoutMs = 2000;
constexpr char kSystemBus[] = "unix:path=/var/run/dbus/system_bus_socket";

// `layout` at the layout the user picked in the window, where its keymap has it.
XkbLayout withKeptPick(XkbLayout layout) {
    if (const auto kept = posix::userValue(kKeptLayout))
        if (auto picked = layout.atLayout(*kept)) return std::move(*picked);
    return layout;
}

// Follows the compositor's keymap from the event loop.
class CompositorFeed final : public KeymapFeed {
  public:
    explicit CompositorFeed(std::unique_ptr<CompositorKeymap> compositor)
        : compositor_(std::move(compositor)), notifier_(compositor_->fd(), QSocketNotifier::Read) {}

    void start(std::function<void(XkbLayout)> arrived) override {
        QObject::connect(&notifier_, &QSocketNotifier::activated,
                         [this, arrived = std::move(arrived)] {
                             if (compositor_->read()) {
                                 if (auto layout = XkbLayout::fromText(compositor_->keymap()))
                                     arrived(withKeptPick(std::move(*layout)));
                             } else if (compositor_->lost()) {
                                 notifier_.setEnabled(false);
                             }
                         });
    }

  private:
    std::unique_ptr<CompositorKeymap> compositor_;
    QSocketNotifier notifier_;
};

// The system's keyboard layout, as systemd-localed keeps it for consoles and display managers.
Result<XkbLayout> systemLayout() {
    const auto unread = [](const QString& why) {
        return std::unexpected(Problem{
            ProblemKind::Missing,
            ("the system's keyboard layout (org.freedesktop.locale1) " + why).toStdU16String()});
    };
    QDBusMessage call =
        QDBusMessage::createMethodCall("org.freedesktop.locale1", "/org/freedesktop/locale1",
                                       "org.freedesktop.DBus.Properties", "GetAll");
    call << QString("org.freedesktop.locale1");
    // A connection of its own, closed after the one question. The address is read here, where
    // libdbus would have read it once for the whole process.
    QDBusConnection bus = QDBusConnection::connectToBus(
        qEnvironmentVariable("DBUS_SYSTEM_BUS_ADDRESS", kSystemBus), "velnor-locale");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kLocaleTimeoutMs);
    QDBusConnection::disconnectFromBus("velnor-locale");
    if (reply.type() != QDBusMessage::ReplyMessage)
        return unread("cannot be read: " + reply.errorMessage());
    const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
    const QString layout = properties.value("X11Layout").toString();
    if (layout.isEmpty()) return unread("names none");
    return XkbLayout::named(layout.toStdString(),
                            properties.value("X11Variant").toString().toStdString());
}

// The layout of the first source that answers, without the user's pick.
Result<XkbLayout> firstLayout(QStringList& told, QString& source,
                              std::unique_ptr<KeymapFeed>& feed) {
    if (const QString named = qEnvironmentVariable("VELNOR_XKB_LAYOUT"); !named.isEmpty()) {
        auto layout = XkbLayout::named(named.toStdString(),
                                       qEnvironmentVariable("VELNOR_XKB_VARIANT").toStdString());
        if (!layout)
            return std::unexpected(Problem{
                layout.error().kind,
                u"uinput cannot inject input: " + layout.error().reason + u" (VELNOR_XKB_LAYOUT)"});
        source = "VELNOR_XKB_LAYOUT";
        return layout;
    }
    if (waylandSession()) {
        if (auto compositor = CompositorKeymap::connect()) {
            const std::string keymap = (*compositor)->keymap();
            feed = std::make_unique<CompositorFeed>(std::move(*compositor));
            // With no keyboard yet, its keymap comes with the first: ours, once it is made.
            if (keymap.empty()) {
                told << "the Wayland compositor has no keyboard yet: uinput types on its keymap "
                        "once it has one";
            } else if (auto layout = XkbLayout::fromText(keymap)) {
                source = "the Wayland compositor's";
                return layout;
            } else {
                told << QString::fromStdU16String(layout.error().reason);
            }
        } else {
            told << QString::fromStdU16String(compositor.error().reason);
        }
    }
    if (qEnvironmentVariableIsSet("DISPLAY")) {
        if (auto read = XkbLayout::ofXServer()) {
            source = "the X server's";
            return read;
        } else {
            told << QString::fromStdU16String(read.error().reason);
        }
    }
    if (auto system = systemLayout()) {
        source = "the system's, org.freedesktop.locale1";
        return system;
    } else {
        told << QString::fromStdU16String(system.error().reason);
    }
    source = "no other was found; VELNOR_XKB_LAYOUT names one";
    return XkbLayout::named("us");
}

}  // namespace

bool waylandSession() {
    return qEnvironmentVariableIsSet("WAYLAND_DISPLAY") ||
           qEnvironmentVariable("XDG_SESSION_TYPE") == QLatin1String("wayland");
}

Result<TypingLayout> typingLayout(QStringList& told) {
    QString source;
    std::unique_ptr<KeymapFeed> feed;
    auto first = firstLayout(told, source, feed);
    if (!first) return std::unexpected(first.error());
    TypingLayout typing{withKeptPick(std::move(*first)), std::move(feed)};
    const XkbLayout& layout = typing.layout;
    if (layout.layoutNames().size() > 1) {
        const bool picked = posix::userValue(kKeptLayout) == layout.name();
        source += picked ? "; picked in the window"
                         : "; it has more layouts: the Port menu's \"Keyboard layout to type "
                           "on\" picks another";
    }
    told << QString("uinput types on the %1 keyboard layout (%2)")
                .arg(QString::fromStdString(layout.name()), source);
    return typing;
}

}  // namespace velnor
