#include "platform/linux/synthetic_input.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <map>
#include <optional>
#include <thread>

#include "platform/qt/event_loop.h"
#include "support/fake_portal.h"
#include "support/session_bus.h"
#include "support/temp_dir.h"
#include "support/x_server.h"

namespace velnor {
namespace {

// Sets the environment variables of a choice for one test and puts the old values back.
class Environment {
  public:
    explicit Environment(std::map<const char*, QByteArray> values) {
        for (const auto& [name, value] : values) {
            saved_[name] = qgetenv(name);
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }
    ~Environment() {
        for (const auto& [name, value] : saved_) {
            if (value.isNull())
                qunsetenv(name);
            else
                qputenv(name, value);
        }
    }

  private:
    std::map<const char*, QByteArray> saved_;
};

const bool uinputWritable = access("/dev/uinput", W_OK) == 0;

struct Choice {
    const char* input;             // VELNOR_INPUT, null for unset
    bool display;                  // DISPLAY names the test's Xvfb
    bool wayland;                  // WAYLAND_DISPLAY is set
    const char* name;              // the backend expected
    const char* problem;           // a part of the log line expected ("" for none)
    const char* layout = nullptr;  // VELNOR_XKB_LAYOUT, null for unset
    uint portal = 0;               // the version of the desktop's portal on the bus, 0 for none
};

constexpr char kTypesOnUs[] = "uinput types on the English (US) keyboard layout";
constexpr char kNoPortal[] =
    "RemoteDesktop portal cannot inject input: the desktop offers no portal "
    "(org.freedesktop.portal.Desktop is not on the session bus)";

// Without a writable /dev/uinput here, uinput fails with its reason and the fallbacks show.
const Choice kChoices[] = {
    {"none", true, false, "none", "Synthetic input is off (VELNOR_INPUT=none)"},
    {"x11", true, false, "x11", ""},
    {"x11", false, false, "none", "XTest cannot inject input: DISPLAY is not set"},
    {nullptr, true, false, "x11", ""},
    {"auto", true, false, "x11", ""},
    {"X11", true, false, "x11", "VELNOR_INPUT=X11 is not one of auto, x11, uinput, portal, none"},
    {"portal", true, false, "none", kNoPortal},
    {"portal", false, true, "portal",
     "the desktop asks in a dialog whether Velnor may send input, at every start", nullptr, 1},
    {"auto", true, true, uinputWritable ? "uinput" : "portal",
     uinputWritable ? kTypesOnUs : "uinput cannot inject input: /dev/uinput", nullptr, 2},
    {"auto", false, true, uinputWritable ? "uinput" : "none",
     uinputWritable ? kTypesOnUs
                    : "is not on the session bus); XTest cannot inject input: DISPLAY is not set"},
    // Outside Wayland the portal is not asked: on X, XTest reaches every window.
    {"auto", true, false, "x11", "", nullptr, 2},
    {"auto", false, false, uinputWritable ? "uinput" : "none",
     uinputWritable ? kTypesOnUs : "XTest cannot inject input: DISPLAY is not set", nullptr, 2},
    {"uinput", true, false, uinputWritable ? "uinput" : "none",
     uinputWritable ? kTypesOnUs : "uinput cannot inject input: /dev/uinput"},
    {"auto", true, true, uinputWritable ? "uinput" : "x11",
     uinputWritable ? kTypesOnUs
                    : "is not on the session bus); using XTest, which reaches X11 (XWayland) "
                      "windows only"},
    {"auto", false, false, uinputWritable ? "uinput" : "none",
     uinputWritable ? kTypesOnUs : "DISPLAY is not set"},
    {"uinput", true, false, "none",
     "uinput cannot inject input: no keyboard layout \"nowhere\" in the system's xkeyboard-config "
     "data (package xkb-data) (VELNOR_XKB_LAYOUT)",
     "nowhere"},
};

TEST(OpenInputBackend, ChoosesAsVelnorInputSaysAndTellsWhy) {
    ASSERT_FALSE(test::xvfbDisplay().empty()) << test::xvfbProblem().toStdString();
    ASSERT_FALSE(test::sessionBusAddress().isEmpty()) << "dbus-daemon did not start";
    // The portal is looked for on the session bus, which is the tests' own; a token it keeps,
    // in a folder of the test's own.
    const test::TempDir config;
    const Environment desk({{"DBUS_SESSION_BUS_ADDRESS", test::sessionBusAddress().toUtf8()},
                            {"XDG_CONFIG_HOME", QByteArray(config.path().c_str())}});
    QtEventLoop loop;
    for (const auto& choice : kChoices) {
        std::optional<test::FakePortal> portal;
        if (choice.portal) portal.emplace(test::sessionBusAddress(), choice.portal);
        const Environment environment({
            {"VELNOR_INPUT", choice.input ? QByteArray(choice.input) : QByteArray()},
            {"DISPLAY", choice.display ? QByteArray(test::xvfbDisplay().c_str()) : QByteArray()},
            {"WAYLAND_DISPLAY", choice.wayland ? QByteArray("wayland-0") : QByteArray()},
            {"XDG_SESSION_TYPE", QByteArray()},
            {"VELNOR_XKB_LAYOUT", choice.layout ? QByteArray(choice.layout) : QByteArray()},
        });
        // Opened at once, and readied first on another thread as the program does it: the same.
        for (const bool early : {false, true}) {
            EarlyInput readied;
            if (early) std::thread([&readied] { readied = prepareInputBackend(); }).join();
            const InputBackend backend = openInputBackend(loop, std::move(readied));
            const std::string context =
                std::string("VELNOR_INPUT=") + (choice.input ? choice.input : "(unset)") +
                (choice.display ? " with DISPLAY" : "") + (choice.wayland ? " in Wayland" : "") +
                (choice.portal ? " with a portal" : "") + (early ? ", readied early" : "");
            ASSERT_NE(backend.sink, nullptr) << context;
            EXPECT_EQ(QString::fromStdU16String(backend.name).toStdString(), choice.name)
                << context;
            const QString problem = QString::fromStdU16String(backend.problem);
            if (*choice.problem) {
                EXPECT_TRUE(problem.contains(choice.problem))
                    << context << ": " << problem.toStdString();
            } else {
                EXPECT_EQ(problem.toStdString(), "") << context;
            }
        }
    }
}

// What was readied is what opens: no second connection, which could go to another display.
TEST(OpenInputBackend, TakesOverTheConnectionReadiedEarly) {
    ASSERT_FALSE(test::xvfbDisplay().empty()) << test::xvfbProblem().toStdString();
    const Environment onX({{"VELNOR_INPUT", QByteArray("x11")},
                           {"DISPLAY", QByteArray(test::xvfbDisplay().c_str())}});
    EarlyInput readied = prepareInputBackend();
    const Environment elsewhere({{"DISPLAY", QByteArray(":4711")}});
    QtEventLoop loop;
    const InputBackend backend = openInputBackend(loop, std::move(readied));
    EXPECT_EQ(QString::fromStdU16String(backend.name).toStdString(), "x11");
    EXPECT_EQ(QString::fromStdU16String(backend.problem).toStdString(), "");
}

}  // namespace
}  // namespace velnor
