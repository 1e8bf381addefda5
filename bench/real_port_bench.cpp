// The serial control on the real cdc-acm port inside the virtual machine, whose far end is the USB
// serial gadget; run it there: scripts/vm-run build/default/bench/bench_real_port
//
// Idle: context switches per second of the process (the measuring thread aside, which sleeps
// through it) with COM1 open and no line changing. Latency: from the open (and the close) of the
// far end to the first OnComm on the window's thread, each edge met by a watcher asleep in the
// driver.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "support/test_form.h"
#include "support/vm_guest.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using velnor::test::GadgetEnd;

// Until the watcher of the open port sleeps in the driver and what it reported has been
// delivered; false if it does not within seconds.
bool settle() {
    const QDeadlineTimer deadline(10s);
    while (!velnor::test::portWatcherSleeps()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents();
        QThread::msleep(1);
    }
    QCoreApplication::processEvents();
    return true;
}

// COM1 open on the real port with its watcher asleep, or why not.
std::optional<std::string> openIdle(velnor::SerialControl& control) {
    if (!velnor::test::inVmGuest())
        return "runs in the virtual machine: scripts/vm-run build/default/bench/bench_real_port";
    qputenv("VELNOR_COM1", velnor::test::kCdcAcmPort);
    if (const auto opened = control.setPortOpen(true); !opened)
        return QString::fromStdU16String(opened.error().reason).toStdString();
    if (!settle()) return "the watcher does not sleep in the driver";
    return std::nullopt;
}

void BM_IdleOpenPort(benchmark::State& state) {
    velnor::TestSerialControl control;
    if (const auto problem = openIdle(control)) return state.SkipWithError(problem->c_str());
    long switches = 0;
    for (auto _ : state) {
        const long before = velnor::test::contextSwitchesOfOtherThreads();
        std::this_thread::sleep_for(5s);
        switches += velnor::test::contextSwitchesOfOtherThreads() - before;
    }
    state.counters["wakeups_per_s"] = double(switches) / 5.0;
}
BENCHMARK(BM_IdleOpenPort)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

double percentile(const std::vector<double>& sorted, double fraction) {
    return sorted[static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1))];
}

void BM_FarEndToOnComm(benchmark::State& state) {
    const int opens = static_cast<int>(state.range(0));
    velnor::TestSerialControl control;
    std::vector<double> rises;
    std::vector<double> falls;
    std::vector<double>* pending = nullptr;  // where the next OnComm's latency goes
    Clock::time_point changed;
    QEventLoop loop;
    control.OnComm = [&] {
        if (!pending) return;
        pending->push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - changed).count());
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
    std::sort(rises.begin(), rises.end());
    std::sort(falls.begin(), falls.end());
    state.counters["open_p50_us"] = percentile(rises, 0.50);
    state.counters["open_max_us"] = rises.back();
    state.counters["close_p50_us"] = percentile(falls, 0.50);
    state.counters["close_max_us"] = falls.back();
}
BENCHMARK(BM_FarEndToOnComm)->Arg(20)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
