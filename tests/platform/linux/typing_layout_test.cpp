// Where uinput's keyboard layout comes from: a Wayland compositor (a fake one speaking the
// protocol; sway is in compositor_test.cpp), the system's layout over D-Bus, the user's pick kept
// between runs.

#include "platform/linux/typing_layout.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-server.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDeadlineTimer>
#include <QThread>
#include <mutex>
#include <thread>

#include "platform/posix/user_value.h"
#include "support/qt_print.h"
#include "support/scoped_env.h"
#include "support/session_bus.h"
#include "support/temp_dir.h"

namespace velnor {
namespace {

// The keymap text a compositor would send for `layout`.
std::string keymapText(const char* layout) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    const xkb_rule_names names = {nullptr, nullptr, layout, nullptr, nullptr};
    xkb_keymap* keymap = xkb_keymap_new_from_names(context, &names, XKB_KEYMAP_COMPILE_NO_FLAGS);
    char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    std::string copy = text ? text : "";
    free(text);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return copy;
}

// A compositor that has one seat with a keyboard and hands every client's keyboard its keymap,
// on a thread of its own; send() hands them a new one, as a compositor does when the user
// changes the layouts.
class FakeCompositor {
  public:
    explicit FakeCompositor(std::string keymap) : keymap_(std::move(keymap)) {
        display_ = wl_display_create();
        socket_ = wl_display_add_socket_auto(display_);
        wl_global_create(display_, &wl_seat_interface, 5, this, bindSeat);
        wakeSource_ = wl_event_loop_add_fd(wl_display_get_event_loop(display_), wake_,
                                           WL_EVENT_READABLE, sendNew, this);
        thread_ = std::thread([this] { wl_display_run(display_); });
    }
    ~FakeCompositor() {
        wl_display_terminate(display_);
        thread_.join();
        wl_event_source_remove(wakeSource_);
        wl_display_destroy_clients(display_);
        wl_display_destroy(display_);
        close(wake_);
    }
    const char* socket() const { return socket_; }
    // Hands every keyboard `keymap`, after those sent before.
    void send(std::string keymap) {
        std::lock_guard lock(mutex_);
        waiting_.push_back(std::move(keymap));
        eventfd_write(wake_, 1);
    }

  private:
    static void bindSeat(wl_client* client, void* data, uint32_t version, uint32_t id) {
        wl_resource* seat = wl_resource_create(client, &wl_seat_interface, int(version), id);
        static const struct wl_seat_interface implementation = {
            .get_pointer = [](wl_client*, wl_resource*, uint32_t) {},
            .get_keyboard = getKeyboard,
            .get_touch = [](wl_client*, wl_resource*, uint32_t) {},
            .release = [](wl_client*, wl_resource* resource) { wl_resource_destroy(resource); },
        };
        wl_resource_set_implementation(seat, &implementation, data, nullptr);
        wl_seat_send_capabilities(seat, WL_SEAT_CAPABILITY_KEYBOARD | WL_SEAT_CAPABILITY_POINTER);
    }
    static void getKeyboard(wl_client* client, wl_resource* seat, uint32_t id) {
        auto* self = static_cast<FakeCompositor*>(wl_resource_get_user_data(seat));
        wl_resource* keyboard =
            wl_resource_create(client, &wl_keyboard_interface, wl_resource_get_version(seat), id);
        static const struct wl_keyboard_interface implementation = {
            .release = [](wl_client*, wl_resource* resource) { wl_resource_destroy(resource); },
        };
        wl_resource_set_implementation(keyboard, &implementation, self, [](wl_resource* gone) {
            auto* owner = static_cast<FakeCompositor*>(wl_resource_get_user_data(gone));
            std::erase(owner->keyboards_, gone);
        });
        self->keyboards_.push_back(keyboard);
        std::lock_guard lock(self->mutex_);
        sendKeymap(keyboard, self->keymap_);
    }
    static int sendNew(int fd, uint32_t, void* data) {
        eventfd_t ignored;
        eventfd_read(fd, &ignored);
        auto* self = static_cast<FakeCompositor*>(data);
        std::lock_guard lock(self->mutex_);
        for (std::string& keymap : self->waiting_) {
            for (wl_resource* keyboard : self->keyboards_) sendKeymap(keyboard, keymap);
            self->keymap_ = std::move(keymap);
        }
        self->waiting_.clear();
        return 0;
    }
    static void sendKeymap(wl_resource* keyboard, const std::string& keymap) {
        const int fd = memfd_create("keymap", MFD_CLOEXEC);
        EXPECT_EQ(write(fd, keymap.c_str(), keymap.size() + 1), ssize_t(keymap.size() + 1));
        wl_keyboard_send_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                uint32_t(keymap.size() + 1));
        close(fd);
    }

    wl_display* display_;
    const char* socket_;
    int wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    wl_event_source* wakeSource_ = nullptr;
    std::mutex mutex_;
    std::string keymap_;                   // what a new keyboard is handed
    std::vector<std::string> waiting_;     // to hand every keyboard
    std::vector<wl_resource*> keyboards_;  // the compositor thread's
    std::thread thread_;
};

// The kernel key codes the sink wrote, pressed ones only.
std::vector<int> pressed(int fd) {
    std::vector<int> codes;
    input_event record;
    while (read(fd, &record, sizeof record) == sizeof record)
        if (record.type == EV_KEY && record.value == 1) codes.push_back(record.code);
    return codes;
}

// A session with the compositor's socket, no X display and no layout named outright; the user's
// settings in a folder of the test's own.
class TypingLayoutTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(pipe2(pipe_, O_NONBLOCK | O_CLOEXEC), 0);
        ::setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
        ::setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("XDG_CONFIG_HOME");
        ::unsetenv("XDG_RUNTIME_DIR");
        close(pipe_[0]);
        close(pipe_[1]);
    }
    // A uinput sink over the pipe on what typingLayout() finds, following its feed.
    std::unique_ptr<UinputInput> open(QStringList& told) {
        auto typing = typingLayout(told);
        EXPECT_TRUE(typing) << told.join("; ").toStdString();
        if (!typing) return nullptr;
        auto sink = std::make_unique<UinputInput>(dup(pipe_[1]), std::move(typing->layout));
        sink->setProblemReporter(
            [this](const std::u16string& line) { logged_ << QString::fromStdU16String(line); });
        if (typing->feed) sink->follow(std::move(typing->feed));
        return sink;
    }
    // Runs the event loop until the sink tells something.
    QStringList waitForLog() {
        const QDeadlineTimer deadline(5000);
        while (logged_.isEmpty() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        return std::exchange(logged_, {});
    }

    test::TempDir config_, runtime_;
    int pipe_[2];
    QStringList logged_;
};

// The compositor's keymap, followed as it changes. Of a keymap with several layouts a client
// without focus cannot tell the active one: the user picks it in the window, and the pick holds at
// the next start and for the compositor's next keymap.
TEST_F(TypingLayoutTest, ThePickOfSeveralLayoutsIsMadeInTheMenuAndKept) {
    FakeCompositor compositor(keymapText("de,us"));
    const ScopedEnv wayland("WAYLAND_DISPLAY", compositor.socket());
    const ScopedEnv noDisplay("DISPLAY", nullptr), noLayout("VELNOR_XKB_LAYOUT", nullptr);
    QStringList told;
    auto sink = open(told);
    ASSERT_TRUE(sink);
    EXPECT_TRUE(
        told.join("").contains("German keyboard layout (the Wayland compositor's; it has "
                               "more layouts"))
        << told.join("").toStdString();

    Menu menu = sink->menu();
    ASSERT_EQ(menu.size(), 1u);
    EXPECT_EQ(menu[0].text, u"Keyboard layout to type on");
    ASSERT_EQ(menu[0].entries.size(), 2u);
    EXPECT_EQ(menu[0].entries[0].text, u"German");
    EXPECT_TRUE(menu[0].entries[0].checked);
    EXPECT_EQ(menu[0].entries[1].text, u"English (US)");
    menu[0].entries[1].chosen({});
    EXPECT_EQ(
        waitForLog(),
        QStringList{"uinput types on the English (US) keyboard layout (picked in the window)"});
    sink->typeCharacter(U'z');
    EXPECT_EQ(pressed(pipe_[0]), std::vector{KEY_Z});
    EXPECT_EQ(posix::userValue(kKeptLayout), "English (US)");

    sink.reset();
    told.clear();
    sink = open(told);
    EXPECT_TRUE(
        told.join("").contains("English (US) keyboard layout (the Wayland compositor's; "
                               "picked in the window)"))
        << told.join("").toStdString();

    // A keymap that has the layout picked keeps it, without a word; one without it does not.
    compositor.send(keymapText("fr,us"));
    compositor.send(keymapText("de"));
    EXPECT_EQ(waitForLog(), QStringList{"uinput types on the German keyboard layout (the "
                                        "compositor's new keymap)"});
    sink->typeCharacter(U'z');
    EXPECT_EQ(pressed(pipe_[0]), std::vector{KEY_Y});
    EXPECT_TRUE(sink->menu().empty());  // one layout: nothing to pick
}

// The system's layout where no compositor or X server answers, as systemd-localed tells it.
class FakeLocale final : public QDBusVirtualObject {
  public:
    explicit FakeLocale(QString layout) : layout_(std::move(layout)) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        if (message.member() != "GetAll") return false;
        const QVariantMap properties{{"X11Layout", layout_}, {"X11Variant", "nodeadkeys"}};
        return connection.send(message.createReply(QVariant::fromValue(properties)));
    }

  private:
    QString layout_;
};

TEST_F(TypingLayoutTest, WithoutACompositorOrXServerTheSystemsLayoutIsAsked) {
    const test::DbusDaemon bus;
    ASSERT_FALSE(bus.address().isEmpty());
    const ScopedEnv system("DBUS_SYSTEM_BUS_ADDRESS", bus.address().toUtf8());
    const ScopedEnv noWayland("WAYLAND_DISPLAY", nullptr), noSession("XDG_SESSION_TYPE", nullptr);
    const ScopedEnv noDisplay("DISPLAY", nullptr), noLayout("VELNOR_XKB_LAYOUT", nullptr);

    QStringList told;
    ASSERT_TRUE(open(told));
    EXPECT_TRUE(
        told.join("; ").contains("the system's keyboard layout (org.freedesktop.locale1) "
                                 "cannot be read"))
        << told.join("; ").toStdString();
    EXPECT_TRUE(told.last().startsWith("uinput types on the English (US) keyboard layout"));

    // The service answers from a thread of its own while typingLayout() waits for it.
    QThread serviceThread;
    serviceThread.start();
    FakeLocale locale("de");
    locale.moveToThread(&serviceThread);
    QDBusConnection service = QDBusConnection::connectToBus(bus.address(), "fake-locale");
    ASSERT_TRUE(service.registerService("org.freedesktop.locale1"));
    ASSERT_TRUE(service.registerVirtualObject("/org/freedesktop/locale1", &locale));
    told.clear();
    ASSERT_TRUE(open(told));
    EXPECT_EQ(told, QStringList{"uinput types on the German (no dead keys) keyboard layout (the "
                                "system's, org.freedesktop.locale1)"});
    QDBusConnection::disconnectFromBus("fake-locale");
    serviceThread.quit();
    serviceThread.wait();
}

}  // namespace
}  // namespace velnor
