// The XTest guardian: started only from the program's own folder or ../libexec/velnor (the window
// part, by the same rule, from its own folder or ../lib/velnor), what it leaves when the program
// ends with requests still on their way to the X server, and what it says on an X connection that
// cannot serve it.
#include "platform/x11/guardian.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/socket.h>
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
#include <fstream>
#include <functional>
#include <utility>

#include "support/qt_print.h"
#include "support/scoped_env.h"
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

constexpr char kCookie[] = "6f1d5be3c0a2947e8b1c5d09a7e3f264";

// Writes kCookie into `authority` for `display`.
bool addCookie(const fs::path& authority, const std::string& display) {
    return QProcess::execute("xauth", {"-q", "-f", QString::fromStdString(authority.string()),
                                       "add", QString::fromStdString(display), ".", kCookie}) == 0;
}

TEST_F(GuardianEnd, UndoesWhatTheServerHoldsOnceItHasClosedTheProgramsConnection) {
    // The guardian's connection is made as the program's is, also to a server that lets in only
    // clients that show its cookie. Xvfb takes every cookie of its file, for whatever display: the
    // one it picks is known only once it runs.
    ASSERT_FALSE(QStandardPaths::findExecutable("xauth").isEmpty())
        << "xauth is not installed (Debian package xauth)";
    TempDir folder;
    const fs::path authority = folder.path() / "authority";
    std::ofstream{authority};  // xauth wants it there
    ASSERT_TRUE(addCookie(authority, ":0"));
    XvfbServer guarded({"-auth", authority.string()});
    ASSERT_FALSE(guarded.display().empty()) << guarded.problem().toStdString();
    ASSERT_TRUE(addCookie(authority, guarded.display()));
    {
        const ScopedEnv none("XAUTHORITY", "/dev/null");
        ASSERT_EQ(XOpenDisplay(guarded.display().c_str()), nullptr) << "it lets anyone in";
    }
    const ScopedEnv cookie("XAUTHORITY", authority.c_str());
    FocusWindow guardedWindow(guarded.display());

    const std::pair<std::string, FocusWindow*> servers[] = {{xvfbDisplay(), &*window},
                                                            {guarded.display(), &guardedWindow}};
    for (const auto& [display, seen] : servers) {
        SCOPED_TRACE(display);
        Display* server = XOpenDisplay(display.c_str());
        KeyCode spare = 0;
        for (int code = 255; code > 8 && !spare; --code)
            if (XkbKeycodeToKeysym(server, KeyCode(code), 0, 0) == NoSymbol) spare = KeyCode(code);
        ASSERT_NE(spare, 0);
        const KeyCode shift = XKeysymToKeycode(server, XK_Shift_L);
        const KeyCode key = XKeysymToKeycode(server, XK_a);
        for (const Ending& ending : kEndings) {
            SCOPED_TRACE(ending.name);
            Display* program = XOpenDisplay(display.c_str());
            XSetWindowAttributes attributes{};
            const Window marker = XCreateWindow(program, DefaultRootWindow(program), 0, 0, 1, 1, 0,
                                                0, InputOnly, CopyFromParent, 0, &attributes);
            bind(program, spare, XK_Cyrillic_a);
            XTestFakeKeyEvent(program, shift, True, CurrentTime);
            XSync(program, False);
            const std::vector<pid_t> before = children();
            auto guardian = std::make_unique<x11::Guardian>(display.c_str(), marker);
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
            EXPECT_EQ(seen->held(), QStringList());
            bind(server, spare, NoSymbol);
            XSync(server, False);
        }
        XCloseDisplay(server);
    }
}

// A descriptor moved above those the guardian gets, so that moving them there cannot clash.
int above(int fd) {
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 10);
    close(fd);
    return moved;
}

// Started by hand on a connection that carries no request, the guardian says that it cannot act
// and ends, rather than wait for answers that never come.
TEST(GuardianConnection, ThatCarriesNothingLeavesItUnableToAct) {
    int farEnd = -1;  // the server's end, open while the guardian runs
    const std::pair<const char*, std::function<int()>> connections[] = {
        {"not a socket", [] { return open("/dev/null", O_RDWR | O_CLOEXEC); }},
        {"the server says nothing",
         [&farEnd] {
             int ends[2] = {-1, -1};
             socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends);
             shutdown(ends[1], SHUT_WR);
             farEnd = ends[1];
             return ends[0];
         }},
    };
    for (const auto& [name, connect] : connections) {
        SCOPED_TRACE(name);
        const int display = above(connect());
        const int state = above(memfd_create("held", MFD_CLOEXEC));
        ASSERT_EQ(ftruncate(state, sizeof(HeldState)), 0);
        int answer[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, answer), 0);
        const int itsAnswer = above(answer[1]);
        QProcess guardian;
        guardian.setChildProcessModifier([&] {
            dup2(itsAnswer, kGuardianSocketFd);
            dup2(state, kGuardianStateFd);
            dup2(display, kGuardianDisplayFd);
        });
        guardian.start(VELNOR_GUARDIAN, {"1"});
        EXPECT_TRUE(guardian.waitForFinished(5000)) << "it waits";
        EXPECT_EQ(guardian.exitCode(), 1);
        for (const int fd : {display, state, itsAnswer, std::exchange(farEnd, -1)}) close(fd);
        char word = 0;
        EXPECT_EQ(read(answer[0], &word, 1), 1);
        EXPECT_EQ(word, 'n');
        close(answer[0]);
    }
}

// A display it cannot connect to is told, as everything else that leaves it unable to act.
TEST(GuardianConnection, ThatCannotBeMadeIsTold) {
    x11::Guardian guardian(":65000", 1);
    EXPECT_EQ(guardian.confirm(),
              u"XTest: no connection to the X display \":65000\" for velnor-guardian; keys held "
              u"when Velnor is killed may stay down");
}

}  // namespace
}  // namespace velnor::test
