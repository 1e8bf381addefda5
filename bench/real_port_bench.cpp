// The serial control and the window on the real cdc-acm port inside the virtual machine, whose far
// end is the USB serial gadget; run it there: scripts/vm-run build/default/bench/bench_real_port
//
// Idle: context switches per second of the process (the measuring thread aside, which sleeps
// through it) with COM1 open and no line changing. OnComm: from the open (and the close) of the
// far end to the first OnComm on the window's thread. Key: from the open (and the close) of the
// far end to DSR's key press (and release) arriving in a focused X client, through a window as
// the program has it; the X server (an Xvfb), the XTest backend and the client all run in the
// virtual machine. Each edge meets a watcher asleep in the driver.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <optional>
#include <string>
#include <thread>

#include "platform/x11/xtest_input.h"
#include "samples.h"
#include "support/linux_form.h"
#include "support/vm_guest.h"
#include "support/x_server.h"

namespace {

using namespace std::chrono_literals;
using velnor::bench::Clock;
using velnor::bench::microsSince;
using velnor::bench::Samples;
using velnor::test::GadgetEnd;

// Until the watcher of the open port sleeps in the driver and what it reported has been
// delivered; false if it does not within seconds. On a thread without a Qt event loop it only
// waits for the watcher.
bool settle() {
    if (!velnor::processEventsUntil(velnor::test::portWatcherSleeps)) return false;
    QCoreApplication::processEvents();
    return true;
}

constexpr char kOutsideVm[] =
    "runs in the virtual machine: scripts/vm-run build/default/bench/bench_real_port";

// COM1 open on the real port with its watcher asleep, or why not.
std::optional<std::string> openIdle(velnor::SerialControl& control) {
    if (!velnor::test::inVmGuest()) return kOutsideVm;
    qputenv("VELNOR_COM1", velnor::test::kCdcAcmPort);
    if (const auto opened = control.setPortOpen(true); !opened)
        return QString::fromStdU16String(opened.error().reason).toStdString();
    if (!settle()) return "the watcher does not sleep in the driver";
    return std::nullopt;
}

// Each benchmark gathers all its samples in one pass; repeated runs give their spread.
void onePass(benchmark::internal::Benchmark* registered) {
    registered->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
    velnor::bench::withSpread(registered);
}

// Samples of one second each; counts, not microseconds, hence counters of their own.
void BM_IdleOpenPort(benchmark::State& state) {
    const int seconds = static_cast<int>(state.range(0));
    velnor::LinuxSerialControl control;
    if (const auto problem = openIdle(control)) return state.SkipWithError(problem->c_str());
    Samples perSecond;
    for (auto _ : state) {
        for (int second = 0; second < seconds; ++second) {
            const long before = velnor::test::contextSwitchesOfOtherThreads();
            std::this_thread::sleep_for(1s);
            perSecond.add(double(velnor::test::contextSwitchesOfOtherThreads() - before));
        }
    }
    state.counters["wakeups_per_s_p50"] = perSecond.p50();
    state.counters["wakeups_per_s_p99"] = perSecond.p99();
    state.counters["samples"] = double(perSecond.size());
}
BENCHMARK(BM_IdleOpenPort)->Arg(5)->Apply(onePass);

void BM_FarEndToOnComm(benchmark::State& state) {
    const int opens = static_cast<int>(state.range(0));
    velnor::LinuxSerialControl control;
    Samples rises;
    Samples falls;
    Samples* pending = nullptr;  // where the next OnComm's latency goes
    Clock::time_point changed;
    QEventLoop loop;
    control.OnComm = [&] {
        if (!pending) return;
        pending->add(microsSince(changed));
        pending = nullptr;
        loop.quit();
    };
    if (const auto problem = openIdle(control)) return state.SkipWithError(problem->c_str());
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    std::optional<GadgetEnd> farEnd;
    for (auto _ : state) {
        for (int edge = 0; edge < 2 * opens; ++edge) {
            if (!settle()) return state.SkipWithError("the watcher does not sleep in the driver");
            pending = edge % 2 == 0 ? &rises : &falls;
            timeout.start(10s);
            changed = Clock::now();
            if (edge % 2 == 0)
                farEnd.emplace();
            else
                farEnd.reset();
            loop.exec();
            if (pending) return state.SkipWithError("no OnComm within 10 s");
        }
    }
    rises.report(state, "open_");
    falls.report(state, "close_");
}
BENCHMARK(BM_FarEndToOnComm)->Arg(30)->Apply(onePass);

// The window runs on this thread's event loop; another thread plays the far end and owns the
// receiving X client, so that neither waits for the other's polling. CTS and CD generate no keys
// (their text is empty): DSR's key (Shift) is then the one key event of each edge.
void BM_FarEndToKey(benchmark::State& state) {
    const int opens = static_cast<int>(state.range(0));
    if (!velnor::test::inVmGuest()) return state.SkipWithError(kOutsideVm);
    const std::string& display = velnor::test::xvfbDisplay();
    if (display.empty())
        return state.SkipWithError(velnor::test::xvfbProblem().toStdString().c_str());
    velnor::QtEventLoop inputLoop;
    auto input = velnor::openXTestInput(inputLoop, display.c_str());
    if (!input)
        return state.SkipWithError(
            QString::fromStdU16String(input.error().reason).toStdString().c_str());
    qputenv("VELNOR_COM1", velnor::test::kCdcAcmPort);
    velnor::LinuxForm form(**input, "-ctsMode=generateKeys -cdMode=generateKeys -port=com1");
    form.Form_Load();
    if (!form.MSComm1.PortOpen()) return state.SkipWithError("COM1 did not open");
    Samples presses;
    Samples releases;
    std::optional<std::string> problem;
    for (auto _ : state) {
        QEventLoop loop;
        std::thread farSide([&] {
            velnor::test::FocusWindow window(display);
            std::optional<GadgetEnd> farEnd;
            for (int edge = 0; edge < 2 * opens && !problem; ++edge) {
                const bool opening = edge % 2 == 0;
                if (!settle()) {
                    problem = "the watcher does not sleep in the driver";
                    break;
                }
                const Clock::time_point changed = Clock::now();
                if (opening)
                    farEnd.emplace();
                else
                    farEnd.reset();
                if (!window.awaitCount(1, 0)) {
                    problem = opening ? "no key press within 5 s" : "no key release within 5 s";
                    break;
                }
                (opening ? presses : releases).add(microsSince(changed));
                if (const QStringList held = window.held();
                    held != (opening ? QStringList{"Shift_L"} : QStringList{}))
                    problem = (opening ? "held after the open: " : "held after the close: ") +
                              held.join(',').toStdString();
            }
            if (!problem && !window.takeEvents(0).isEmpty()) problem = "key events beyond DSR's";
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        farSide.join();
    }
    if (problem) return state.SkipWithError(problem->c_str());
    presses.report(state, "press_");
    releases.report(state, "release_");
}
BENCHMARK(BM_FarEndToKey)->Arg(30)->Apply(onePass);

}  // namespace
