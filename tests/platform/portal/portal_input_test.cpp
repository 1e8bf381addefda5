#include "platform/portal/portal_input.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <QProcess>
#include <QTest>
#include <fstream>
#include <string>

#include "core/send_keys.h"
#include "support/fake_portal.h"
#include "support/scoped_env.h"
#include "support/session_bus.h"
#include "support/temp_dir.h"

namespace velnor {
namespace {

using test::FakePortal;
using test::sessionBusAddress;

constexpr char kStarted[] = "The desktop allows input";
constexpr char kAskEntry[] = "Ask the desktop for input";
constexpr int kShiftKey = 16;  // virtual-key codes
constexpr int kLetterA = 65;
constexpr int kLetterB = 66;

QStringList methodsOf(const std::vector<FakePortal::Call>& calls) {
    QStringList methods;
    for (const auto& call : calls) methods << call.method;
    return methods;
}

// A desk with the fake portal at `version` on the tests' private bus, and the user's
// configuration in a folder of the test's own; the sink opens on a connection of its own.
class Desk {
  public:
    explicit Desk(uint version)
        : portal(sessionBusAddress(), version),
          bus_(QDBusConnection::connectToBus(sessionBusAddress(), QStringLiteral("portal-sink"))) {}
    ~Desk() {
        sink.reset();
        QDBusConnection::disconnectFromBus(bus_.name());
    }

    // Opens a sink; what it tells at the opening and later goes to `log`.
    void open() {
        ASSERT_FALSE(sessionBusAddress().isEmpty()) << "dbus-daemon did not start";
        ASSERT_TRUE(portal.serving()) << "the fake portal did not get its name";
        QStringList told;
        auto opened = openPortalInput(bus_, told);
        ASSERT_TRUE(opened) << QString::fromStdU16String(opened.error().reason).toStdString();
        sink = std::move(*opened);
        log = told;
        sink->setProblemReporter(
            [this](const std::u16string& line) { log << QString::fromStdU16String(line); });
    }
    // Waits until `times` lines of the log contain `text`.
    bool logged(const char* text, qsizetype times = 1) {
        return QTest::qWaitFor([&] { return log.filter(QLatin1String(text)).size() >= times; });
    }
    void openAndStart() {
        ASSERT_NO_FATAL_FAILURE(open());
        ASSERT_TRUE(logged(kStarted)) << log.join(u'\n').toStdString();
    }
    // The sink's menu: its entries' texts, and whether the first is enabled.
    QStringList menuTexts() const {
        QStringList texts;
        for (const MenuEntry& entry : sink->menu())
            texts << QString::fromStdU16String(entry.text) + (entry.enabled ? "" : " (disabled)");
        return texts;
    }
    void chooseAskAgain() {
        const Menu menu = sink->menu();
        ASSERT_EQ(menu.size(), 1u);
        menu.front().chosen({});
    }
    std::string keptToken() const {
        std::ifstream file(config_.path() / "velnor" / "portal-restore-token");
        std::string token;
        std::getline(file, token);
        return token;
    }

    FakePortal portal;
    std::unique_ptr<InputSink> sink;
    QStringList log;

  private:
    test::TempDir config_;
    ScopedEnv home_{"XDG_CONFIG_HOME", config_.path().c_str()};
    QDBusConnection bus_;
};

TEST(PortalSession, IsSetUpAsTheVersionAllowsAndItsTokenKeptForTheNextOpen) {
    const struct {
        uint version;
        const char* toldAtOpen;  // of the dialog
        bool persists;           // asks for a token, and keeps it
    } rows[] = {
        {1, "at every start (its RemoteDesktop portal is version 1)", false},
        {2, "asks once in a dialog whether Velnor may send input, and its answer is kept", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.version);
        Desk desk(row.version);
        ASSERT_NO_FATAL_FAILURE(desk.openAndStart());
        EXPECT_TRUE(desk.log.first().contains(row.toldAtOpen)) << desk.log.first().toStdString();
        const auto calls = desk.portal.calls();
        EXPECT_EQ(methodsOf(calls), QStringList({"CreateSession", "SelectDevices", "Start"}));
        const QVariantMap& select = calls.at(1).options;
        EXPECT_EQ(select.value("types").toUInt(), 3u);  // keyboard and pointer
        EXPECT_EQ(select.value("persist_mode").toUInt(), row.persists ? 2u : 0u);
        EXPECT_FALSE(select.contains("restore_token"));
        EXPECT_EQ(desk.keptToken(), row.persists ? desk.portal.lastToken().toStdString() : "");
        EXPECT_TRUE(desk.menuTexts().isEmpty());

        // The next start hands the kept token back, and says nothing of a dialog.
        const QString first = desk.portal.lastToken();
        desk.sink.reset();
        ASSERT_NO_FATAL_FAILURE(desk.openAndStart());
        EXPECT_EQ(desk.log.first().contains("dialog"), !row.persists);
        const auto again = desk.portal.calls();
        ASSERT_EQ(methodsOf(again).count("SelectDevices"), 2);
        const QVariantMap& reselect = again.at(again.size() - 2).options;
        EXPECT_EQ(reselect.value("restore_token").toString(), row.persists ? first : QString());
        EXPECT_EQ(desk.keptToken(), row.persists ? desk.portal.lastToken().toStdString() : "");
    }
}

TEST(PortalSession, ARefusalIsToldSendsNothingAndOnlyTheMenuAsksAgain) {
    const struct {
        uint code;
        const char* told;
    } rows[] = {
        {1,
         "The desktop's dialog was cancelled: Velnor may send no input; key and mouse events "
         "are dropped; \"Ask the desktop for input\" in the Port menu asks again"},
        {2,
         "The desktop refused input; key and mouse events are dropped; \"Ask the desktop for "
         "input\" in the Port menu asks again"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.code);
        Desk desk(2);
        desk.portal.setAnswer(row.code);
        ASSERT_NO_FATAL_FAILURE(desk.open());
        EXPECT_EQ(desk.menuTexts(), QStringList{QString(kAskEntry) + " (disabled)"});
        ASSERT_TRUE(desk.logged(row.told)) << desk.log.join(u'\n').toStdString();
        EXPECT_TRUE(QTest::qWaitFor([&] {
            return methodsOf(desk.portal.calls()) ==
                   QStringList({"CreateSession", "SelectDevices", "Start", "Close session"});
        })) << methodsOf(desk.portal.calls()).join(", ").toStdString();
        EXPECT_EQ(desk.keptToken(), "");

        // A pedal pressed now neither sends nor asks.
        desk.sink->key(kLetterA, true);
        desk.sink->key(kLetterA, false);
        EXPECT_EQ(desk.menuTexts(), QStringList{kAskEntry});
        desk.portal.setAnswer(0);
        ASSERT_NO_FATAL_FAILURE(desk.chooseAskAgain());
        ASSERT_TRUE(desk.logged(kStarted));
        EXPECT_EQ(methodsOf(desk.portal.calls()).count("CreateSession"), 2);
        desk.sink->key(kLetterB, true);
        desk.sink->key(kLetterB, false);
        ASSERT_TRUE(desk.portal.awaitEvents(2));
        EXPECT_EQ(desk.portal.events(), QStringList({"keysym 98 1", "keysym 98 0"}));
        EXPECT_EQ(desk.log.filter("dropped").size(), 1) << desk.log.join(u'\n').toStdString();
    }
}

TEST(PortalSession, EndedWithAKeyHeldForgetsItAndOnlyTheMenuAsksAgain) {
    const struct {
        const char* how;
        const char* told;
        void (*end)(FakePortal&);
    } rows[] = {
        {"closed", "The desktop ended the input session",
         [](FakePortal& portal) { portal.closeSession(); }},
        {"portal gone", "The desktop's portal left the session bus",
         [](FakePortal& portal) { portal.leave(); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        Desk desk(2);
        ASSERT_NO_FATAL_FAILURE(desk.openAndStart());
        desk.sink->key(kShiftKey, true);
        ASSERT_TRUE(desk.portal.awaitEvents(1));
        row.end(desk.portal);
        ASSERT_TRUE(desk.logged(row.told)) << desk.log.join(u'\n').toStdString();
        EXPECT_TRUE(desk.log.last().contains(
            "key and mouse events are dropped, and the keys and buttons held were let go with the "
            "session; \"Ask the desktop for input\" in the Port menu asks again"))
            << desk.log.last().toStdString();
        desk.sink->key(kShiftKey, false);
        desk.sink->key(kLetterA, true);
        EXPECT_EQ(methodsOf(desk.portal.calls()).count("CreateSession"), 1);
        EXPECT_EQ(desk.menuTexts(), QStringList{kAskEntry});
        if (!desk.portal.serving()) continue;

        // Asked again, Shift is not held any more: its release is not sent.
        ASSERT_NO_FATAL_FAILURE(desk.chooseAskAgain());
        ASSERT_TRUE(desk.logged(kStarted, 2));
        EXPECT_EQ(methodsOf(desk.portal.calls()).count("CreateSession"), 2);
        desk.sink->key(kShiftKey, false);
        desk.sink->key(kLetterB, true);
        ASSERT_TRUE(desk.portal.awaitEvents(2));
        EXPECT_EQ(desk.portal.events(), QStringList({"keysym 65505 1", "keysym 98 1"}));
    }
}

TEST(PortalInput, SendsKeysymsThatTheDesktopTypesOnItsLayout) {
    Desk desk(2);
    ASSERT_NO_FATAL_FAILURE(desk.openAndStart());
    // Letters in either case, a sign no US key has, a virtual key, a character with no keysym.
    SendKeys(*desk.sink, u"aZ\u20ac{ENTER}\u0001");
    desk.sink->mouseButton(MouseButton::Right, true);
    desk.sink->mouseButton(MouseButton::Right, false);
    ASSERT_TRUE(desk.portal.awaitEvents(10));
    EXPECT_EQ(desk.portal.events(),
              QStringList({"keysym 97 1", "keysym 97 0", "keysym 90 1", "keysym 90 0",
                           "keysym 8364 1", "keysym 8364 0", "keysym 65293 1", "keysym 65293 0",
                           "button 273 1", "button 273 0"}));
    EXPECT_TRUE(desk.log.contains(
        "SendKeys could not type \"\u0001\": no key of the desktop's keyboard layout gives it"))
        << desk.log.join(u'\n').toStdString();
}

TEST(PortalInput, DropsEventsBeforeTheStartAndNeverReleasesWhatItDidNotPress) {
    Desk desk(1);
    ASSERT_NO_FATAL_FAILURE(desk.open());
    desk.sink->key(kLetterA, true);
    desk.sink->mouseButton(MouseButton::Left, true);
    ASSERT_TRUE(desk.logged(kStarted));
    desk.sink->key(kLetterA, false);
    desk.sink->mouseButton(MouseButton::Left, false);
    desk.sink->key(kLetterB, true);
    ASSERT_TRUE(desk.portal.awaitEvents(1));
    EXPECT_EQ(desk.portal.events(), QStringList{"keysym 98 1"});
    EXPECT_EQ(desk.log.filter("dropped").size(), 1) << desk.log.join(u'\n').toStdString();
    EXPECT_TRUE(desk.log.contains(
        "Key and mouse events are dropped until the desktop allows input: answer its dialog"));
}

TEST(PortalInput, ItsEndReleasesWhatIsHeldThenClosesTheSessionOrTheRequest) {
    {
        Desk started(2);
        ASSERT_NO_FATAL_FAILURE(started.openAndStart());
        started.sink->key(kShiftKey, true);
        started.sink->mouseButton(MouseButton::Middle, true);
        SendKeys(*started.sink, u"a");  // released already
        started.sink.reset();
        EXPECT_EQ(started.portal.events(),
                  QStringList({"keysym 65505 1", "button 274 1", "keysym 97 1", "keysym 97 0",
                               "keysym 65505 0", "button 274 0"}));
        EXPECT_EQ(methodsOf(started.portal.calls()),
                  QStringList({"CreateSession", "SelectDevices", "Start", "Close session"}));
    }
    // Still asking: the request goes, and its dialog with it.
    Desk asking(1);
    ASSERT_NO_FATAL_FAILURE(asking.open());
    asking.sink.reset();
    EXPECT_EQ(methodsOf(asking.portal.calls()), QStringList({"CreateSession", "Close request"}));
}

// SIGTERM ends the program as closing its window does, and the sink's end closes the session.
TEST(PortalInput, ATerminationSignalClosesTheSession) {
    ASSERT_FALSE(sessionBusAddress().isEmpty()) << "dbus-daemon did not start";
    FakePortal portal(sessionBusAddress(), 2);
    ASSERT_TRUE(portal.serving());
    const test::TempDir config;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DBUS_SESSION_BUS_ADDRESS", sessionBusAddress());
    environment.insert("VELNOR_INPUT", "portal");
    environment.insert("XDG_CONFIG_HOME", QString::fromStdString(config.path().string()));
    QProcess helper;
    helper.setProcessEnvironment(environment);
    helper.start(HOLD_KEY_HELPER);
    ASSERT_TRUE(helper.waitForReadyRead(10000)) << helper.readAllStandardError().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return methodsOf(portal.calls()).contains("Start"); }));

    kill(helper.processId(), SIGTERM);
    ASSERT_TRUE(helper.waitForFinished(10000));
    EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(methodsOf(portal.calls()),
              QStringList({"CreateSession", "SelectDevices", "Start", "Close session"}));
}

}  // namespace
}  // namespace velnor
