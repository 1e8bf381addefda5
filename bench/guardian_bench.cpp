// The program killed (SIGKILL) at a random moment while it types characters the keymap lacks, round
// after round: what its guardian leaves behind in the X server. Each round starts the built program
// on the loopback port typing a long text of Greek and Cyrillic letters into an X window through
// XTest, kills it a random time after the first character arrived, waits for its guardian process
// to end and looks at the server: a spare keycode that still carries a symbol is "left bound", a
// key or button still down is "left held". Between rounds the server is put back as it was.
// Reports the rounds, those that left something, and how long the guardian took from the kill.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QFile>
#include <QThread>
#include <random>
#include <vector>

#include "on_xvfb.h"
#include "samples.h"
#include "support/velnor_process.h"
#include "support/x_server.h"

// Xlib's macros (Status, Bool) break Qt headers included after them.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using velnor::bench::display;

// More distinct letters than Xvfb has spare keycodes (19), so slots are bound anew all along.
QString foreignText() {
    QString text;
    for (int i = 0; i < 3000; ++i) text += i % 2 ? QChar(0x0391 + i % 25) : QChar(0x0410 + i % 64);
    return text;
}

// The guardian is the program's only child.
pid_t childOf(qint64 pid) {
    QFile children(QStringLiteral("/proc/%1/task/%1/children").arg(pid));
    if (!children.open(QIODevice::ReadOnly)) return -1;
    bool ok = false;
    const pid_t child = children.readAll().trimmed().toInt(&ok);
    return ok ? child : -1;
}

// What the program may leave behind on the server, seen from a connection of the benchmark's own.
class ServerState {
  public:
    ServerState() : connection_(XOpenDisplay(display().c_str())) {
        XDisplayKeycodes(connection_, &min_, &max_);
        for (int code = min_; code <= max_; ++code)
            if (symbolOf(code) == NoSymbol) spares_.push_back(KeyCode(code));
    }
    ~ServerState() { XCloseDisplay(connection_); }
    ServerState(const ServerState&) = delete;
    ServerState& operator=(const ServerState&) = delete;

    bool spareBound() {
        for (const KeyCode code : spares_)
            if (symbolOf(code) != NoSymbol) return true;
        return false;
    }
    bool keyHeld() {
        char keys[32];
        XQueryKeymap(connection_, keys);
        for (const char byte : keys)
            if (byte) return true;
        return false;
    }
    // Unbinds the spare keycodes and releases every key.
    void restore() {
        KeySym none[2] = {NoSymbol, NoSymbol};
        for (const KeyCode code : spares_) XChangeKeyboardMapping(connection_, code, 2, none, 1);
        char keys[32];
        XQueryKeymap(connection_, keys);
        for (int code = 0; code < 256; ++code)
            if (keys[code / 8] & (1 << (code % 8)))
                XTestFakeKeyEvent(connection_, code, False, CurrentTime);
        XSync(connection_, False);
    }

  private:
    KeySym symbolOf(int code) {
        int perKeycode = 0;
        KeySym* symbols = XGetKeyboardMapping(connection_, KeyCode(code), 1, &perKeycode);
        KeySym first = symbols && perKeycode > 0 ? symbols[0] : NoSymbol;
        for (int i = 1; i < perKeycode && first == NoSymbol; ++i) first = symbols[i];
        if (symbols) XFree(symbols);
        return first;
    }

    Display* connection_;
    int min_ = 0;
    int max_ = 0;
    std::vector<KeyCode> spares_;
};

void BM_KilledWhileTyping(benchmark::State& state) {
    const int rounds = int(state.range(0));
    velnor::test::FocusWindow window(display());
    ServerState server;
    QProcessEnvironment environment = velnor::test::loopbackOnX(display());
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    // Alone, with no bus to hand its command line to a copy still ending.
    environment.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent");
    const QStringList arguments = {"-dsrMode=sendKeys", "-dsrSendKeys=" + foreignText(),
                                   "-port=com1", "-dtr"};
    std::mt19937 random(22);
    std::uniform_int_distribution<int> delayMs(0, 300);
    velnor::bench::Samples guardian;
    int leftBound = 0, leftHeld = 0;
    for (auto _ : state) {
        for (int round = 0; round < rounds; ++round) {
            velnor::test::VelnorProcess velnor(arguments, environment);
            if (!window.awaitCount(0, 1)) return state.SkipWithError("typing did not begin");
            // Debian 12's glibc declares pidfd_open without C linkage.
            const int watched =
                int(syscall(SYS_pidfd_open, childOf(velnor.process().processId()), 0));
            if (watched < 0) return state.SkipWithError("the program started no guardian");
            QThread::msleep(delayMs(random));
            const velnor::bench::Clock::time_point killed = velnor::bench::Clock::now();
            kill(pid_t(velnor.process().processId()), SIGKILL);
            pollfd ended = {watched, POLLIN, 0};
            const bool guardianEnded = poll(&ended, 1, 5000) == 1;
            guardian.add(velnor::bench::microsSince(killed));
            close(watched);
            if (!guardianEnded) return state.SkipWithError("the guardian did not end within 5 s");
            velnor.waitForExit();
            // Requests the program sent just before the kill reach the server a moment later.
            QThread::msleep(50);
            window.awaitCount(0, 0);
            const bool bound = server.spareBound(), held = server.keyHeld();
            leftBound += bound;
            leftHeld += held;
            if (bound || held) server.restore();
        }
    }
    state.counters["rounds"] = rounds;
    state.counters["left_bound"] = leftBound;
    state.counters["left_held"] = leftHeld;
    guardian.report(state, "guardian_");
}
BENCHMARK(BM_KilledWhileTyping)
    ->Arg(200)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->Apply(velnor::bench::withSpread);

}  // namespace
