// The whole program as a separate process, on an Xvfb and a session bus of the benchmark's own:
// start-up to window shown and memory then, idle wake-ups with a port open (both against a minimal
// Qt Widgets program started the same way), an Execute round trip over the bus, and a command over
// the bus to the key arriving in an X client; the two last beside the bus's own round trip.
#include <benchmark/benchmark.h>

#include <QDBusPendingCall>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "on_xvfb.h"
#include "samples.h"
#include "support/session_bus.h"
#include "support/velnor_process.h"
#include "support/x_server.h"

// Xlib's macros (Status, Bool) break Qt headers included after them.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

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
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), velnor::test::sessionBusAddress());
        env.insert(environmentOnX());
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(MINIMAL_QT_BINARY),
                       empty ? QStringList{QStringLiteral("--empty")} : QStringList());
        process_.waitForStarted();
    }
    ~MinimalQt() {
        process_.terminate();
        process_.waitForFinished();
    }
    qint64 pid() const { return process_.processId(); }

  private:
    QProcess process_;
};

// Whether a top-level window titled `title` is viewable on `connection`.
bool windowShown(Display* connection, const char* title) {
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    bool shown = false;
    if (!XQueryTree(connection, DefaultRootWindow(connection), &root, &parent, &children, &count))
        return false;
    for (unsigned int i = 0; i < count && !shown; ++i) {
        XWindowAttributes attributes;
        char* name = nullptr;
        if (XGetWindowAttributes(connection, children[i], &attributes) &&
            attributes.map_state == IsViewable && XFetchName(connection, children[i], &name)) {
            shown = std::strcmp(name, title) == 0;
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
    while (windowShown(connection, title) != shown) {
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

// Start of a program to its window shown, and its resident memory then, against the minimal
// program: Qt's "Hello world" label, or with argument 1 an empty window, which loads no fonts as
// any window with a word in it must. Each sample starts the program, which is ended again before
// the next.
void BM_StartToWindowShown(benchmark::State& state) {
    XConnection connection;
    Samples resident;
    Samples residentWithGuardian;
    Samples referenceResident;
    // The sample is the time to the window; ending the process is left out.
    const auto startUp = [&](auto start, const char* title, auto measureMemory) {
        if (!awaitWindow(connection, title, false)) state.SkipWithError("an old window stays");
        const Clock::time_point begin = Clock::now();
        auto program = start();
        if (!awaitWindow(connection, title)) state.SkipWithError("no window within 10 s");
        const double micros = microsSince(begin);
        measureMemory(*program);
        return micros;
    };
    velnor::bench::alternate(
        state,
        [&] {
            return startUp(startOnCom1, kVelnorTitle, [&](VelnorProcess& velnor) {
                const qint64 pid = velnor.process().processId();
                resident.add(residentMegabytes(pid));
                residentWithGuardian.add(residentWithChildren(pid));
            });
        },
        [&] {
            return startUp([&] { return std::make_unique<MinimalQt>(state.range(0) == 1); },
                           kMinimalTitle,
                           [&](MinimalQt& minimal) {
                               referenceResident.add(residentMegabytes(minimal.pid()));
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
        const long referenceBefore = total(contextSwitches(minimal.pid()));
        std::this_thread::sleep_for(kWindow);
        const auto after = contextSwitches(pid);
        const double seconds = std::chrono::duration<double>(kWindow).count();
        wakeUps = double(total(after) - total(before)) / seconds;
        referenceWakeUps =
            double(total(contextSwitches(minimal.pid())) - referenceBefore) / seconds;
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

// Execute "-rts" over the bus to the key press arriving in a focused X client of our own (RTS
// drives CTS on the loopback port, which holds Alt), "-rtsOff" to its release the next time;
// against Ping.
void BM_CommandToKeyInXClient(benchmark::State& state) {
    RunningCopy velnor;
    if (!velnor.ready()) return state.SkipWithError("no running copy");
    // Made after the program's window is shown, so that it owns the focus.
    velnor::test::FocusWindow window(display());
    bool press = true;
    besidePing(state, [&] {
        const QDBusMessage call =
            velnor::test::executeCall(press ? QStringLiteral("-rts") : QStringLiteral("-rtsOff"));
        std::optional<QDBusPendingCall> reply;
        bool arrived = false;
        const double micros = timeMicros([&] {
            reply = velnor::test::testBus().asyncCall(call);
            arrived = window.awaitCount(1, 0);
        });
        reply->waitForFinished();
        if (reply->isError()) state.SkipWithError("refused");
        if (!arrived) state.SkipWithError("no key in the focused window within 5 s");
        // The one event waited for was Alt's, and it came alone.
        if (window.held() != (press ? QStringList{"Alt_L"} : QStringList{}))
            state.SkipWithError("other keys came with the command");
        press = !press;
        return micros;
    });
}
BENCHMARK(BM_CommandToKeyInXClient)->Apply(velnor::bench::sampled<300>);

}  // namespace
