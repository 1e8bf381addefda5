// The whole program as a separate process, on an Xvfb and a session bus of the benchmark's own:
// start-up to window shown and to its first paint, and memory then, idle wake-ups with a port open
// (all against a minimal Qt Widgets program started the same way), an Execute round trip over the
// bus, and a command over the bus to the key arriving in an X client; the two last beside the bus's
// own round trip. A second start that hands its command over, timed to the key and to its exit
// beside dbus-send, gdbus and xdotool.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusPendingCall>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "on_xvfb.h"
#include "samples.h"
#include "support/session_bus.h"
#include "support/velnor_process.h"
#include "support/x_server.h"

// Xlib's macros (Status, Bool) break Qt headers included after them.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xdamage.h>

namespace {

using velnor::bench::Clock;
using velnor::bench::display;
using velnor::bench::microsSince;
using velnor::bench::Samples;
using velnor::bench::timeMicros;
using velnor::test::residentMegabytes;
using velnor::test::VelnorProcess;

const char* const kVelnorTitle = "Velnor Control";
const char* const kMinimalTitle = "Minimal Qt Widgets";
constexpr auto kShowLimit = std::chrono::seconds(10);

// The environment both programs start with: the program's own on X, COM1 on the loopback port.
QProcessEnvironment environmentOnX() {
    return velnor::test::loopbackOnX(display());
}

// The environment of a program started from the user's session: on the benchmark's X server and
// session bus.
QProcessEnvironment sessionEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), velnor::test::sessionBusAddress());
    env.insert(environmentOnX());
    return env;
}

// The program as a user has it running: on X, watching COM1 (the loopback port).
std::unique_ptr<VelnorProcess> startOnCom1() {
    return std::make_unique<VelnorProcess>(QStringList{QStringLiteral("-port=com1")},
                                           environmentOnX());
}

// The minimal Qt Widgets program, started as VelnorProcess starts the program: a label, or with
// `empty` an empty window.
class MinimalQt {
  public:
    explicit MinimalQt(bool empty = false) {
        process_.setProcessEnvironment(sessionEnvironment());
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(MINIMAL_QT_BINARY),
                       empty ? QStringList{QStringLiteral("--empty")} : QStringList());
        process_.waitForStarted();
    }
    ~MinimalQt() {
        process_.terminate();
        process_.waitForFinished();
    }
    QProcess& process() { return process_; }

  private:
    QProcess process_;
};

// The viewable top-level window titled `title` on `connection`, or None.
Window shownWindow(Display* connection, const char* title) {
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    Window shown = None;
    if (!XQueryTree(connection, DefaultRootWindow(connection), &root, &parent, &children, &count))
        return None;
    for (unsigned int i = 0; i < count && shown == None; ++i) {
        XWindowAttributes attributes;
        char* name = nullptr;
        if (XGetWindowAttributes(connection, children[i], &attributes) &&
            attributes.map_state == IsViewable && XFetchName(connection, children[i], &name)) {
            if (std::strcmp(name, title) == 0) shown = children[i];
            XFree(name);
        }
    }
    XFree(children);
    return shown;
}

// Polls until the window titled `title` is (or, with `shown` false, is no longer) viewable; false
// after kShowLimit.
bool awaitWindow(Display* connection, const char* title, bool shown = true) {
    const Clock::time_point start = Clock::now();
    while ((shownWindow(connection, title) != None) != shown) {
        if (Clock::now() - start > kShowLimit) return false;
        QThread::usleep(200);
    }
    return true;
}

// An own connection to the benchmark's X server, for looking at windows.
class XConnection {
  public:
    XConnection() : display_(XOpenDisplay(display().c_str())) {
        if (!display_) throw std::runtime_error("cannot connect to " + display());
    }
    ~XConnection() { XCloseDisplay(display_); }
    XConnection(const XConnection&) = delete;
    XConnection& operator=(const XConnection&) = delete;
    operator Display*() const { return display_; }

  private:
    Display* display_;
};

// The processes that `pid` started and that still run (the program's XTest guardian).
QList<qint64> childrenOf(qint64 pid) {
    QFile file(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    QList<qint64> children;
    if (!file.open(QIODevice::ReadOnly)) return children;
    for (const QByteArray& child : file.readAll().split(' '))
        if (!child.trimmed().isEmpty()) children.append(child.trimmed().toLongLong());
    return children;
}

double residentWithChildren(qint64 pid) {
    double resident = residentMegabytes(pid);
    for (qint64 child : childrenOf(pid)) resident += residentMegabytes(child);
    return resident;
}

// Watches for a program's window to be shown: viewable on the server.
class ShownWatch {
  public:
    static constexpr const char* kMissing = "no window within 10 s";
    explicit ShownWatch(Display* connection) : connection_(connection) {}
    void forget() {}
    bool await(const char* title) { return awaitWindow(connection_, title); }

  private:
    Display* connection_;
};

// Watches for a program's window to be painted, through the DAMAGE extension: every drawing on the
// screen, as rectangles of the root window. Without a compositor a window's content is drawn on the
// screen, so the first rectangle inside the window is the first of its paint to reach the server.
// Qt's windows have no background that the server would paint for them.
class PaintWatch {
  public:
    static constexpr const char* kMissing = "no paint within 10 s";
    PaintWatch() {
        int errorBase = 0;
        if (!XDamageQueryExtension(connection_, &eventBase_, &errorBase))
            throw std::runtime_error("the X server has no DAMAGE extension");
        damage_ = XDamageCreate(connection_, DefaultRootWindow(static_cast<Display*>(connection_)),
                                XDamageReportRawRectangles);
    }
    ~PaintWatch() { XDamageDestroy(connection_, damage_); }
    PaintWatch(const PaintWatch&) = delete;
    PaintWatch& operator=(const PaintWatch&) = delete;

    // Forgets what was drawn so far (the screen behind a window that went away).
    void forget() { XSync(connection_, True); }

    // Waits until something is drawn inside the viewable window titled `title`; false after
    // kShowLimit.
    bool await(const char* title) {
        const Clock::time_point start = Clock::now();
        pollfd events = {ConnectionNumber(static_cast<Display*>(connection_)), POLLIN, 0};
        while (Clock::now() - start < kShowLimit) {
            while (XPending(connection_)) {
                XEvent event;
                XNextEvent(connection_, &event);
                if (event.type == eventBase_ + XDamageNotify &&
                    drawnInside(reinterpret_cast<const XDamageNotifyEvent&>(event).area, title))
                    return true;
            }
            poll(&events, 1, 100);
        }
        return false;
    }

  private:
    bool drawnInside(const XRectangle& area, const char* title) {
        const Window window = shownWindow(connection_, title);
        XWindowAttributes inside;
        if (window == None || !XGetWindowAttributes(connection_, window, &inside)) return false;
        return area.x < inside.x + inside.width && inside.x < area.x + area.width &&
               area.y < inside.y + inside.height && inside.y < area.y + area.height;
    }

    XConnection connection_;
    int eventBase_ = 0;
    Damage damage_ = None;
};

// One start of a program (`start` returns it) until `watch` sees its window titled `title` arrive,
// in microseconds; then `afterwards(program)`, untimed, before the program is ended again.
template <class Watch, class Start, class Afterwards>
double startUp(benchmark::State& state, Display* connection, Watch& watch, const char* title,
               Start start, Afterwards afterwards) {
    if (!awaitWindow(connection, title, false)) state.SkipWithError("an old window stays");
    watch.forget();
    const Clock::time_point begin = Clock::now();
    auto program = start();
    if (!watch.await(title)) state.SkipWithError(Watch::kMissing);
    const double micros = microsSince(begin);
    afterwards(*program);
    return micros;
}

std::unique_ptr<MinimalQt> startMinimal(bool empty = false) {
    return std::make_unique<MinimalQt>(empty);
}

// Start of a program to its window shown, and its resident memory then, against the minimal
// program: Qt's "Hello world" label, or with argument 1 an empty window, which loads no fonts as
// any window with a word in it must. Each sample starts the program, which is ended again before
// the next.
void BM_StartToWindowShown(benchmark::State& state) {
    XConnection connection;
    ShownWatch shown(connection);
    Samples resident;
    Samples residentWithGuardian;
    Samples referenceResident;
    velnor::bench::alternate(
        state,
        [&] {
            return startUp(state, connection, shown, kVelnorTitle, startOnCom1,
                           [&](VelnorProcess& velnor) {
                               const qint64 pid = velnor.process().processId();
                               resident.add(residentMegabytes(pid));
                               residentWithGuardian.add(residentWithChildren(pid));
                           });
        },
        [&] {
            return startUp(
                state, connection, shown, kMinimalTitle,
                [&] { return startMinimal(state.range(0) == 1); },
                [&](MinimalQt& minimal) {
                    referenceResident.add(residentMegabytes(minimal.process().processId()));
                });
        });
    state.counters["resident_MB"] = resident.p50();
    state.counters["with_guardian_MB"] = residentWithGuardian.p50();
    state.counters["ref_resident_MB"] = referenceResident.p50();
    if (referenceResident.p50() > 0)
        state.counters["ratio_resident"] = resident.p50() / referenceResident.p50();
}
BENCHMARK(BM_StartToWindowShown)
    ->ArgName("empty_window")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Apply(velnor::bench::withSpread);

// Start of the program to the first paint of its window reaching the X server, against Qt's "Hello
// world" label; and the resident memory of each, with the processes it started (the program's
// guardian), a second after that paint.
void BM_StartToFirstPaint(benchmark::State& state) {
    XConnection connection;
    PaintWatch painted;
    Samples resident;
    Samples referenceResident;
    const auto aSecondLater = [](Samples& samples) {
        return [&samples](auto& program) {
            std::this_thread::sleep_for(std::chrono::seconds(1));
            samples.add(residentWithChildren(program.process().processId()));
        };
    };
    velnor::bench::alternate(
        state,
        [&] {
            return startUp(state, connection, painted, kVelnorTitle, startOnCom1,
                           aSecondLater(resident));
        },
        [&] {
            return startUp(
                state, connection, painted, kMinimalTitle, [] { return startMinimal(); },
                aSecondLater(referenceResident));
        });
    state.counters["resident_MB"] = resident.p50();
    state.counters["ref_resident_MB"] = referenceResident.p50();
    if (referenceResident.p50() > 0)
        state.counters["ratio_resident"] = resident.p50() / referenceResident.p50();
}
BENCHMARK(BM_StartToFirstPaint)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20)
    ->Apply(velnor::bench::withSpread);

// Context switches of each thread of process `pid` so far (voluntary and not), by thread name.
std::map<QString, long> contextSwitches(qint64 pid) {
    std::map<QString, long> switches;
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm(tasks + u'/' + task + QStringLiteral("/comm"));
        QFile status(tasks + u'/' + task + QStringLiteral("/status"));
        if (!comm.open(QIODevice::ReadOnly) || !status.open(QIODevice::ReadOnly)) continue;
        const QString name = QString::fromLocal8Bit(comm.readAll().trimmed());
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.contains("ctxt_switches:"))
                switches[name] += line.mid(line.indexOf(':') + 1).trimmed().toLong();
    }
    return switches;
}

long total(const std::map<QString, long>& switches) {
    long sum = 0;
    for (const auto& [name, count] : switches) sum += count;
    return sum;
}

// Idle wake-ups per second of the running program with the loopback port open (a pseudo-terminal
// has no modem lines, so the program does not take one as a port), of its XTest guardian, and of
// the minimal program, counted over the same seconds once both have settled. Threads that woke up
// are named on standard error.
void BM_IdleWakeUps(benchmark::State& state) {
    constexpr auto kSettle = std::chrono::seconds(1);
    constexpr auto kWindow = std::chrono::seconds(5);
    XConnection connection;
    const std::unique_ptr<VelnorProcess> velnor = startOnCom1();
    MinimalQt minimal;
    if (!awaitWindow(connection, kVelnorTitle) || !awaitWindow(connection, kMinimalTitle))
        return state.SkipWithError("no window within 10 s");
    std::this_thread::sleep_for(kSettle);
    const qint64 pid = velnor->process().processId();
    const QList<qint64> guardians = childrenOf(pid);
    double wakeUps = 0, guardianWakeUps = 0, referenceWakeUps = 0;
    for (auto _ : state) {
        const auto before = contextSwitches(pid);
        std::map<qint64, long> guardianBefore;
        for (qint64 guardian : guardians)
            guardianBefore[guardian] = total(contextSwitches(guardian));
        const long referenceBefore = total(contextSwitches(minimal.process().processId()));
        std::this_thread::sleep_for(kWindow);
        const auto after = contextSwitches(pid);
        const double seconds = std::chrono::duration<double>(kWindow).count();
        wakeUps = double(total(after) - total(before)) / seconds;
        referenceWakeUps =
            double(total(contextSwitches(minimal.process().processId())) - referenceBefore) /
            seconds;
        guardianWakeUps = 0;
        for (qint64 guardian : guardians)
            guardianWakeUps +=
                double(total(contextSwitches(guardian)) - guardianBefore[guardian]) / seconds;
        for (const auto& [name, count] : after) {
            const auto earlier = before.find(name);
            const long woke = count - (earlier == before.end() ? 0 : earlier->second);
            if (woke > 0)
                std::fprintf(stderr, "velnor thread %s: %.1f wake-ups/s\n", qPrintable(name),
                             double(woke) / seconds);
        }
        state.SetIterationTime(seconds);
    }
    state.counters["wakeups_per_s"] = wakeUps;
    state.counters["guardian_wakeups_per_s"] = guardianWakeUps;
    state.counters["ref_wakeups_per_s"] = referenceWakeUps;
}
BENCHMARK(BM_IdleWakeUps)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1)
    ->Apply(velnor::bench::withSpread);

// The running program on X with COM1 on the loopback port, its window shown.
class RunningCopy {
  public:
    RunningCopy() : velnor_(startOnCom1()) {}
    bool ready() {
        XConnection connection;
        return velnor::test::waitForRunningCopy() && awaitWindow(connection, kVelnorTitle);
    }

  private:
    std::unique_ptr<VelnorProcess> velnor_;
};

// The bus's own round trip to the running copy: libdbus answers Ping without our code.
double pingRoundTrip() {
    const QDBusMessage ping = QDBusMessage::createMethodCall(
        QStringLiteral("org.velnor.Velnor"), QStringLiteral("/"),
        QStringLiteral("org.freedesktop.DBus.Peer"), QStringLiteral("Ping"));
    return timeMicros([&] { velnor::test::testBus().call(ping); });
}

// Samples of `ours` (which returns its own time), alternating with Ping, each call made once
// the repaint that the last one caused is over.
template <class Ours>
void besidePing(benchmark::State& state, Ours&& ours) {
    const auto settle = [] { QThread::msleep(5); };
    velnor::bench::alternate(
        state,
        [&] {
            settle();
            return ours();
        },
        [&] {
            settle();
            return pingRoundTrip();
        },
        "ping_");
}

// Execute with an empty command to the running copy and back, against Ping.
void BM_ExecuteRoundTrip(benchmark::State& state) {
    RunningCopy velnor;
    if (!velnor.ready()) return state.SkipWithError("no running copy");
    besidePing(state, [&] {
        return timeMicros([&] {
            if (!velnor::test::executeOnRunningCopy(QString()).isEmpty())
                state.SkipWithError("refused");
        });
    });
}
BENCHMARK(BM_ExecuteRoundTrip)->Apply(velnor::bench::sampled<300>);

// The command that raises RTS, which the loopback plug wires to CTS and CTS holds Alt by; or lowers
// it again.
QString edgeCommand(bool press) {
    return press ? QStringLiteral("-rts") : QStringLiteral("-rtsOff");
}

// Whether the server holds Alt alone after a press and nothing after a release: the one event
// waited for was Alt's, and it came alone.
bool holdsOnlyAlt(velnor::test::FocusWindow& window, bool press) {
    return window.held() == (press ? QStringList{"Alt_L"} : QStringList{});
}

// Execute "-rts" over the bus to the key press arriving in a focused X client of our own, "-rtsOff"
// to its release the next time; against Ping.
void BM_CommandToKeyInXClient(benchmark::State& state) {
    RunningCopy velnor;
    if (!velnor.ready()) return state.SkipWithError("no running copy");
    // Made after the program's window is shown, so that it owns the focus.
    velnor::test::FocusWindow window(display());
    bool press = true;
    besidePing(state, [&] {
        const QDBusMessage call = velnor::test::executeCall(edgeCommand(press));
        std::optional<QDBusPendingCall> reply;
        bool arrived = false;
        const double micros = timeMicros([&] {
            reply = velnor::test::testBus().asyncCall(call);
            arrived = window.awaitCount(1, 0);
        });
        reply->waitForFinished();
        if (reply->isError()) state.SkipWithError("refused");
        if (!arrived) state.SkipWithError("no key in the focused window within 5 s");
        if (!holdsOnlyAlt(window, press)) state.SkipWithError("other keys came with the command");
        press = !press;
        return micros;
    });
}
BENCHMARK(BM_CommandToKeyInXClient)->Apply(velnor::bench::sampled<300>);

// One run of a command line as a script runs it (in the user's session, its output dropped): from
// its start to the first key event in `window`, and to its exit, watched at once as either may
// come first.
struct CommandRun {
    double toKey = 0;
    double toExit = 0;
    bool keyArrived = false;
    bool succeeded = false;
};

CommandRun runCommand(std::vector<std::string> command, velnor::test::FocusWindow& window) {
    static std::vector<std::string> environment = [] {
        std::vector<std::string> variables;
        for (const QString& variable : sessionEnvironment().toStringList())
            variables.push_back(variable.toStdString());
        return variables;
    }();
    std::vector<char*> argv;
    for (std::string& argument : command) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& variable : environment) envp.push_back(variable.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    CommandRun run;
    const Clock::time_point start = Clock::now();
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) return run;
    std::thread waiter([&] {
        int status = 0;
        waitpid(pid, &status, 0);
        run.toExit = microsSince(start);
        run.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    });
    run.keyArrived = window.awaitCount(1, 0);
    run.toKey = microsSince(start);
    waiter.join();
    return run;
}

// A way a script presses Alt in the focused X client: `press` and `release` are command lines that
// raise and lower RTS, or `press` alone presses and releases the key itself (xdotool).
struct ScriptedKey {
    ScriptedKey(std::string name, std::vector<std::string> press,
                std::vector<std::string> release = {})
        : name(std::move(name)), press(std::move(press)), release(std::move(release)) {}

    std::string name;
    std::vector<std::string> press;
    std::vector<std::string> release;
    Samples toKey;
    Samples toExit;

    // Press and release; what went wrong, or nullptr.
    const char* sample(velnor::test::FocusWindow& window) {
        for (const bool pressing : {true, false}) {
            const std::vector<std::string>& command = pressing ? press : release;
            if (command.empty()) break;
            const CommandRun run = runCommand(command, window);
            if (!run.succeeded) return "a command failed";
            if (!run.keyArrived) return "no key in the focused window within 5 s";
            // The release that came with the press.
            if (release.empty()) window.takeEvents(0);
            if (!holdsOnlyAlt(window, pressing && !release.empty()))
                return "other keys came with the command";
            toKey.add(run.toKey);
            toExit.add(run.toExit);
        }
        return nullptr;
    }
};

// A command line as a script writes it, split into its words.
std::vector<std::string> words(const QString& line) {
    std::vector<std::string> words;
    for (const QString& word : line.split(u' ')) words.push_back(word.toStdString());
    return words;
}

// The call of Execute with `command` on the running copy by dbus-send.
std::vector<std::string> dbusSend(const QString& command) {
    return words(QStringLiteral("dbus-send --session --print-reply --dest=org.velnor.Velnor "
                                "/MainForm org.velnor.Velnor.Topic.Execute string:%1")
                     .arg(command));
}

// The same by gdbus, which first asks the object for the method's signature.
std::vector<std::string> gdbusCall(const QString& command) {
    return words(QStringLiteral("gdbus call --session --dest org.velnor.Velnor --object-path "
                                "/MainForm --method org.velnor.Velnor.Topic.Execute '%1'")
                     .arg(command));
}

// A second start of the program, "velnor -rts" then "velnor -rtsOff", as a script or a desktop
// shortcut runs it with a copy running (COM1 on the loopback port, CTS holding Alt): from its start
// to Alt's event in a focused X client of our own, and to its exit. In the same rounds, each way in
// turn going first: the same Execute sent by dbus-send and by gdbus, and `xdotool key alt`, which a
// user could run instead. Ratios are against dbus-send.
void BM_SecondStartToKey(benchmark::State& state) {
    RunningCopy velnor;
    if (!velnor.ready()) return state.SkipWithError("no running copy");
    // Made after the program's window is shown, so that it owns the focus.
    velnor::test::FocusWindow window(display());
    const auto secondStart = [](const QString& command) {
        return std::vector<std::string>{VELNOR_BINARY, command.toStdString()};
    };
    std::vector<ScriptedKey> ways;
    for (const auto& [name, line] :
         {std::pair{"", +secondStart}, {"dbus_send_", &dbusSend}, {"gdbus_", &gdbusCall}})
        ways.emplace_back(name, line(edgeCommand(true)), line(edgeCommand(false)));
    ways.emplace_back("xdotool_", words(QStringLiteral("xdotool key alt")));
    // The benchmark's own time is a round of all the ways; the figures are the counters.
    std::size_t first = 0;
    for (auto _ : state) {
        const double round = timeMicros([&] {
            for (std::size_t turn = 0; turn < ways.size(); ++turn)
                if (const char* problem = ways[(first + turn) % ways.size()].sample(window))
                    return state.SkipWithError(problem);
        });
        state.SetIterationTime(round / 1e6);
        if (state.error_occurred()) break;
        first = (first + 1) % ways.size();
    }
    for (const ScriptedKey& way : ways) {
        way.toKey.report(state, way.name + "key_");
        way.toExit.report(state, way.name + "exit_");
    }
    const ScriptedKey& reference = ways[1];
    if (reference.toKey.p50() > 0 && reference.toExit.p50() > 0) {
        state.counters["ratio_key"] = ways.front().toKey.p50() / reference.toKey.p50();
        state.counters["ratio_exit"] = ways.front().toExit.p50() / reference.toExit.p50();
    }
}
BENCHMARK(BM_SecondStartToKey)->Apply(velnor::bench::sampled<100>);

}  // namespace
