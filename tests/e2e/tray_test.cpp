// The tray icon of the running program where the desktop has a StatusNotifier tray: a watcher of
// the test's own on the private session bus stands for the desktop's tray, and the icon's menu is
// read and clicked over D-Bus as a tray host does.

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QObject>
#include <QTest>

#include "support/session_bus.h"
#include "support/velnor_process.h"
#include "support/x_server.h"

namespace velnor::test {

// The desktop's org.kde.StatusNotifierWatcher, with a host registered: Qt then puts its tray
// icons on the bus and registers them here.
class FakeWatcher final : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ items)

  public:
    bool hostRegistered() const { return true; }
    int protocolVersion() const { return 0; }
    const QStringList& items() const { return items_; }

  public Q_SLOTS:
    void RegisterStatusNotifierItem(const QString& service) { items_.append(service); }
    void RegisterStatusNotifierHost(const QString&) {}

  private:
    QStringList items_;
};

namespace {

// One entry of a dbusmenu layout as the core's menus are written (support/menu_text.h).
void readLayout(const QDBusArgument& argument, QStringList& lines, QList<int>& ids) {
    int id = 0;
    QVariantMap properties;
    argument.beginStructure();
    argument >> id >> properties;
    if (id != 0) {
        QString line;
        if (properties.value("type").toString() == "separator") {
            line = "---";
        } else {
            if (properties.value("toggle-type").toString() == "checkmark")
                line = properties.value("toggle-state").toInt() == 1 ? "[x] " : "[ ] ";
            line += properties.value("label").toString();
        }
        lines.append(line);
        ids.append(id);
    }
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        readLayout(child.variant().value<QDBusArgument>(), lines, ids);
    }
    argument.endArray();
    argument.endStructure();
}

class TrayProgram : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(sessionBusAddress().isEmpty()) << "dbus-daemon did not start";
        ASSERT_FALSE(xvfbDisplay().empty()) << xvfbProblem().toStdString();
        ASSERT_TRUE(testBus().registerObject(
            "/StatusNotifierWatcher", &watcher,
            QDBusConnection::ExportAllSlots | QDBusConnection::ExportAllProperties));
        ASSERT_TRUE(testBus().registerService("org.kde.StatusNotifierWatcher"));
        QProcessEnvironment environment = loopbackOnX(xvfbDisplay());
        environment.insert("VELNOR_INPUT", "none");
        program = std::make_unique<VelnorProcess>(QStringList{"-port=com1"}, environment);
        // The program asks the watcher as it starts: the test answers while it waits.
        ASSERT_TRUE(QTest::qWaitFor([this] { return !watcher.items().isEmpty(); }, 15000))
            << "no tray icon was registered";
    }
    void TearDown() override {
        program.reset();
        testBus().unregisterService("org.kde.StatusNotifierWatcher");
        testBus().unregisterObject("/StatusNotifierWatcher");
    }

    QDBusMessage menuCall(const QString& method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(watcher.items().first(), "/MenuBar",
                                                           "com.canonical.dbusmenu", method);
        call.setArguments(arguments);
        return testBus().call(call);
    }
    // The menu as a host shows it, after telling the program that it opens.
    QStringList menu() {
        menuCall("AboutToShow", {0});
        const QDBusMessage reply = menuCall("GetLayout", {0, -1, QStringList{}});
        ids.clear();
        QStringList lines;
        if (reply.arguments().size() == 2)
            readLayout(reply.arguments()[1].value<QDBusArgument>(), lines, ids);
        return lines;
    }
    // The icon's hint (the title of its tooltip) and whether a pixel of it is bright red, as a
    // host reads them.
    QDBusArgument itemProperty(const QString& name) {
        QDBusMessage call =
            QDBusMessage::createMethodCall(watcher.items().first(), "/StatusNotifierItem",
                                           "org.freedesktop.DBus.Properties", "Get");
        call.setArguments({QString("org.kde.StatusNotifierItem"), name});
        const QDBusMessage reply = testBus().call(call);
        if (reply.arguments().isEmpty()) return {};
        return reply.arguments()[0].value<QDBusVariant>().variant().value<QDBusArgument>();
    }
    static void skipPixmaps(const QDBusArgument& argument, QByteArray* pixels = nullptr) {
        argument.beginArray();
        while (!argument.atEnd()) {
            int width = 0;
            int height = 0;
            QByteArray data;
            argument.beginStructure();
            argument >> width >> height >> data;
            argument.endStructure();
            if (pixels) *pixels += data;
        }
        argument.endArray();
    }
    QString hint() {
        const QDBusArgument toolTip = itemProperty("ToolTip");
        QString icon;
        QString title;
        QString description;
        toolTip.beginStructure();
        toolTip >> icon;
        skipPixmaps(toolTip);
        toolTip >> title >> description;
        toolTip.endStructure();
        return title;
    }
    bool lit() {
        QByteArray pixels;  // ARGB32, most significant byte first
        skipPixmaps(itemProperty("IconPixmap"), &pixels);
        return pixels.contains(QByteArray("\xff\xff\x00\x00", 4));
    }
    void click(const QString& entry) {
        const QStringList lines = menu();
        const qsizetype at = lines.indexOf(entry);
        ASSERT_GE(at, 0) << entry.toStdString();
        menuCall("Event",
                 {ids[at], QString("clicked"), QVariant::fromValue(QDBusVariant(0)), uint(0)});
    }

    FakeWatcher watcher;
    std::unique_ptr<VelnorProcess> program;
    QList<int> ids;
};

TEST_F(TrayProgram, TheIconsMenuSwitchesDtrAndQuitsFromTheTray) {
    EXPECT_EQ(menu(), (QStringList{"Show Velnor", "---", "[ ] DTR on", "[ ] RTS on", "---",
                                   "[ ] Hide to the tray when minimised", "---", "Quit"}));
    EXPECT_EQ(hint(), "Velnor on COM1 (loopback): no line on");
    EXPECT_FALSE(lit());
    // The loopback plug's DTR drives DSR and CD.
    click("[ ] DTR on");
    EXPECT_TRUE(QTest::qWaitFor([] { return runningCopyLog().contains("optDTROn_Click"); }));
    EXPECT_EQ(menu()[2], "[x] DTR on");
    EXPECT_TRUE(QTest::qWaitFor([this] { return hint().endsWith("DSR, CD on"); }))
        << hint().toStdString();
    EXPECT_TRUE(lit());

    // Hidden in the tray, the window is no visible window whose closing would end the program.
    EXPECT_EQ(executeOnRunningCopy("-minimizeToTray -minimize"), "");
    EXPECT_EQ(menu()[5], "[x] Hide to the tray when minimised");
    click("Quit");
    EXPECT_EQ(program->waitForExit(), 0);
}

}  // namespace
}  // namespace velnor::test

#include "tray_test.moc"
