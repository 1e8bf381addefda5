// The XTest guardian: started only from the program's own folder or ../libexec/velnor (the window
// part, by the same rule, from its own folder or ../lib/velnor), and what it leaves when the
// program ends with requests still on their way to the X server.
#include "platform/x11/guardian.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>
#include <filesystem>
#include <functional>

#include "support/qt_print.h"
#include "support/session_bus.h"
#include "support/temp_dir.h"
#include "support/velnor_process.h"
#include "support/x_server.h"

// Xlib's macros (Status, Bool) break Qt headers included after them.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace velnor::test {
namespace {

namespace fs = std::filesystem;

struct Layout {
    const char* name;
    const char* guardian;  // where a copy of velnor-guardian lies, from the root; null for none
    const char* window;    // where its window part lies, found by the same rule
};

// The program is always root/bin/velnor.
const Layout kLayouts[] = {
    {"alone", nullptr, "bin/libvelnor-window.so"},
    {"beside", "bin/velnor-guardian", "bin/libvelnor-window.so"},
    {"installed", "libexec/velnor/velnor-guardian", "lib/velnor/libvelnor-window.so"},
};

constexpr char kMissing[] =
    "XTest: velnor-guardian was not found beside the program or in ../libexec/velnor; keys held "
    "when Velnor is killed may stay down";

// The paths, canonical, of every call in `trace` (strace -f) that `call` matches, its first group
// the path.
std::vector<fs::path> pathsIn(const fs::path& trace, const QRegularExpression& call) {
    QFile file(QString::fromStdString(trace.string()));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << trace;
    std::vector<fs::path> paths;
    for (auto match = call.globalMatch(QString::fromLocal8Bit(file.readAll())); match.hasNext();)
        paths.push_back(fs::weakly_canonical(match.next().captured(1).toStdString()));
    return paths;
}

const QRegularExpression kExecuted(R"(execve\("([^"]*)\")");
const QRegularExpression kWindowPartOpened(
    R"re(openat\(\w+, "([^"]*libvelnor-window\.so)".*= \d)re");

using GuardianPlace = OnXvfb;

TEST_F(GuardianPlace, ARelocatedProgramRunsOnlyItsOwnPartsAndLogsAMissingGuardian) {
    const QString strace = QStandardPaths::findExecutable("strace");
    ASSERT_FALSE(strace.isEmpty()) << "strace is not installed (Debian package strace)";
    ASSERT_FALSE(sessionBusAddress().isEmpty()) << "dbus-daemon did not start";
    ASSERT_TRUE(fs::exists(VELNOR_GUARDIAN)) << "the build tree's guardian is there to be found";
    for (const Layout& layout : kLayouts) {
        SCOPED_TRACE(layout.name);
        TempDir root;
        const fs::path program = root.path() / "bin/velnor";
        fs::create_directories(program.parent_path());
        fs::copy_file(VELNOR_BINARY, program);
        fs::create_directories((root.path() / layout.window).parent_path());
        fs::copy_file(VELNOR_WINDOW, root.path() / layout.window);
        if (layout.guardian) {
            fs::create_directories((root.path() / layout.guardian).parent_path());
            fs::copy_file(VELNOR_GUARDIAN, root.path() / layout.guardian);
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(loopbackOnX(xvfbDisplay()));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("DBUS_SESSION_BUS_ADDRESS", sessionBusAddress());
        QProcess traced;
        traced.setProcessEnvironment(environment);
        traced.setProcessChannelMode(QProcess::ForwardedChannels);
        const fs::path trace = root.path() / "trace";
        // DSR and CD come on with DTR: Shift and Control held.
        traced.start(strace, {"-f", "-qq", "-e", "trace=execve,openat", "-e", "signal=none", "-o",
                              QString::fromStdString(trace.string()), "--",
                              QString::fromStdString(program.string()), "-port=com1", "-dtr"});
        ASSERT_TRUE(waitForRunningCopy());
        QElapsedTimer timer;
        timer.start();
        while (window->held().join(", ") != "Control_L, Shift_L" && timer.elapsed() < 5000)
            QThread::msleep(10);
        const QStringList log = runningCopyLog();
        const QStringList told = log.filter(QRegularExpression("^XTest"));
        EXPECT_EQ(told, layout.guardian ? QStringList() : QStringList{kMissing})
            << log.join('\n').toStdString();

        // A guardian that was found releases what the killed program held.
        const qint64 pid = testBus().interface()->servicePid("org.velnor.Velnor");
        ASSERT_GT(pid, 0);
        kill(pid_t(pid), layout.guardian ? SIGKILL : SIGTERM);
        ASSERT_TRUE(traced.waitForFinished(10000));
        EXPECT_EQ(window->held().join(", ").toStdString(), "");

        std::vector<fs::path> expected = {fs::weakly_canonical(program)};
        if (layout.guardian)
            expected.push_back(fs::weakly_canonical(root.path() / layout.guardian));
        EXPECT_EQ(pathsIn(trace, kExecuted), expected);
        // Its own window part, never the build tree's.
        EXPECT_EQ(pathsIn(trace, kWindowPartOpened),
                  std::vector{fs::weakly_canonical(root.path() / layout.window)});
    }
}

// The process's children.
std::vector<pid_t> children() {
    QFile file(QStringLiteral("/proc/self/task/%1/children").arg(gettid()));
    std::vector<pid_t> pids;
    if (file.open(QIODevice::ReadOnly))
        for (const QByteArray& pid : file.readAll().split(' '))
            if (!pid.trimmed().isEmpty()) pids.push_back(pid.trimmed().toInt());
    return pids;
}

// A request still on its way to the server when the program ended.
using Late = std::function<void(Display* program, KeyCode spare, KeyCode key)>;

void bind(Display* connection, KeyCode code, KeySym keysym) {
    KeySym symbols[2] = {keysym, keysym};
    XChangeKeyboardMapping(connection, code, 2, symbols, 1);
}

struct Ending {
    const char* name;
    Late late;
    const char* left;  // the symbol on the spare keycode afterwards, "" for none
};

// Each time the spare keycode is bound to Cyrillic_a and marked for Cyrillic_be, Shift is held and
// 'a' is marked held before its press.
const Ending kEndings[] = {
    {"the binding reached the server late",
     [](Display* program, KeyCode spare, KeyCode) { bind(program, spare, XK_Cyrillic_be); }, ""},
    {"the binding never left the program", [](Display*, KeyCode, KeyCode) {}, ""},
    {"another client took the keycode",
     [](Display* program, KeyCode spare, KeyCode) { bind(program, spare, XK_Greek_alpha); },
     "Greek_alpha"},
    {"the press reached the server late",
     [](Display* program, KeyCode, KeyCode key) {
         XTestFakeKeyEvent(program, key, True, CurrentTime);
     },
     ""},
};

using GuardianEnd = OnXvfb;

TEST_F(GuardianEnd, UndoesWhatTheServerHoldsOnceItHasClosedTheProgramsConnection) {
    Display* server = XOpenDisplay(xvfbDisplay().c_str());
    KeyCode spare = 0;
    for (int code = 255; code > 8 && !spare; --code)
        if (XkbKeycodeToKeysym(server, KeyCode(code), 0, 0) == NoSymbol) spare = KeyCode(code);
    ASSERT_NE(spare, 0);
    const KeyCode shift = XKeysymToKeycode(server, XK_Shift_L);
    const KeyCode key = XKeysymToKeycode(server, XK_a);
    for (const Ending& ending : kEndings) {
        SCOPED_TRACE(ending.name);
        Display* program = XOpenDisplay(xvfbDisplay().c_str());
        XSetWindowAttributes attributes{};
        const Window marker = XCreateWindow(program, DefaultRootWindow(program), 0, 0, 1, 1, 0, 0,
                                            InputOnly, CopyFromParent, 0, &attributes);
        bind(program, spare, XK_Cyrillic_a);
        XTestFakeKeyEvent(program, shift, True, CurrentTime);
        XSync(program, False);
        const std::vector<pid_t> before = children();
        auto guardian = std::make_unique<x11::Guardian>(xvfbDisplay().c_str(), marker);
        // Started on a thread of its own: it may not be there at once.
        pid_t started = -1;
        for (int tries = 0; started < 0 && tries < 500; ++tries) {
            for (const pid_t child : children())
                if (std::ranges::find(before, child) == before.end()) started = child;
            if (started < 0) QThread::msleep(10);
        }
        ASSERT_GT(started, 0) << "no guardian started";
        const int watched = int(syscall(SYS_pidfd_open, started, 0));
        HeldState& held = guardian->state();
        held.bound[spare] = XK_Cyrillic_be;
        held.replaced[spare] = XK_Cyrillic_a;
        held.keys[shift] = 1;
        held.keys[key] = 1;

        guardian.reset();  // the program has ended; its connection has not closed yet
        // Long enough for a guardian that acted at once to have done so.
        QThread::msleep(100);
        ending.late(program, spare, key);
        XSync(program, False);
        XCloseDisplay(program);
        pollfd ended = {watched, POLLIN, 0};
        EXPECT_EQ(poll(&ended, 1, 5000), 1) << "the guardian did not end";
        close(watched);
        waitpid(started, nullptr, 0);

        int perKeycode = 0;
        KeySym* left = XGetKeyboardMapping(server, spare, 1, &perKeycode);
        EXPECT_EQ(left[0] == NoSymbol ? "" : keysymName(left[0]).toStdString(), ending.left);
        XFree(left);
        EXPECT_EQ(window->held(), QStringList());
        bind(server, spare, NoSymbol);
        XSync(server, False);
    }
    XCloseDisplay(server);
}

}  // namespace
}  // namespace velnor::test
