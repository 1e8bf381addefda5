// The road a user feels, inside one process: a line change on the loopback port to the key arriving
// in a focused X client, through the form and its window as the program has them (CTS emulating
// its key, Alt) and the XTest backend into an Xvfb of the benchmark's own. The window's thread runs
// its event loop as the program's does; another thread makes the change and waits for the key on
// the X client's connection. The change is a command ("-rts", "-rtsOff": RTS drives CTS on the
// loopback plug) handed to the window's thread as the bus hands one over, or the line flipped
// itself, as a port's watcher does.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <thread>

#include "on_xvfb.h"
#include "platform/loopback/loopback_port.h"
#include "samples.h"
#include "support/linux_form.h"
#include "support/x_server.h"
#include "view/qt/form_view.h"

namespace {

using velnor::bench::display;
using velnor::bench::Samples;

// A loaded form with COM1 open on the loopback plug, typing through XTest into `window`.
struct LoopbackOnX {
    explicit LoopbackOnX(const QString& commandLine = {})
        : sink(velnor::bench::openOurXTest(loop)), form(*sink, commandLine), view(form) {
        qputenv("VELNOR_COM1", "loopback");
        form.Form_Load();
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            throw std::runtime_error("the window never shows");
        form.optCom1.setValue(true);
        port = velnor::loopbackPort(form);
        if (!port) throw std::runtime_error("COM1 is not the loopback plug");
    }

    // After the edge, the server holds CTS's key alone when on and nothing when off: each edge
    // brought exactly the one event waited for.
    bool holdsOnlyTheKey(bool on) {
        return window.held() == (on ? QStringList{"Alt_L"} : QStringList{});
    }

    velnor::test::FocusWindow window{display()};
    velnor::QtEventLoop loop;
    std::unique_ptr<velnor::InputSink> sink;
    velnor::LinuxForm form;
    velnor::QtFormView view;
    velnor::LoopbackPort* port = nullptr;
};

// Edges on and off in turn, `change(on)` made on another thread while the window's thread runs its
// event loop; each sample from the change to the key's event in the X client, press and release
// reported apart. Between edges the changing thread pauses for `pause_ms` (a user's pace: the
// window has painted what the last edge changed), or with 0 goes on at once (a script's burst: the
// next change may wait behind that painting).
template <class Change>
void keyEdges(benchmark::State& state, Change change) {
    LoopbackOnX setup;
    const int edges = static_cast<int>(state.range(0));
    const std::chrono::milliseconds pause(state.range(1));
    Samples presses;
    Samples releases;
    for (auto _ : state) {
        QEventLoop loop;
        bool lost = false;
        std::thread changer([&] {
            for (int edge = 0; edge < edges && !lost; ++edge) {
                const bool on = edge % 2 == 0;
                const velnor::bench::Clock::time_point start = velnor::bench::Clock::now();
                change(setup, on);
                lost = !setup.window.awaitCount(1, 0);
                (on ? presses : releases).add(velnor::bench::microsSince(start));
                lost = lost || !setup.holdsOnlyTheKey(on);
                std::this_thread::sleep_for(pause);
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        changer.join();
        if (lost) state.SkipWithError("the key never arrived, or others came with it");
    }
    presses.report(state, "press_");
    releases.report(state, "release_");
}

void edges(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"edges", "pause_ms"})
        ->Args({1000, 5})
        ->Args({1000, 0})
        ->Iterations(1)
        ->UseRealTime()
        ->Unit(benchmark::kMillisecond);
    velnor::bench::withSpread(benchmark);
}

void BM_CommandInProcessToKeyInXClient(benchmark::State& state) {
    keyEdges(state, [](LoopbackOnX& setup, bool on) {
        QMetaObject::invokeMethod(qApp, [&setup, on] {
            int cancel = 0;
            setup.form.Form_LinkExecute(on ? u"-rts" : u"-rtsOff", cancel);
        });
    });
}
BENCHMARK(BM_CommandInProcessToKeyInXClient)->Apply(edges);

void BM_LineChangeToKeyInXClient(benchmark::State& state) {
    keyEdges(state, [](LoopbackOnX& setup, bool on) {
        setup.port->setLine(velnor::LoopbackPort::Line::Cts, on);
    });
}
BENCHMARK(BM_LineChangeToKeyInXClient)->Apply(edges);

// CTS held on for `seconds`, typing "a" again every 30 ms: each sample is the time between two
// characters arriving in the X client, and `jitter_` its distance from 30 ms. `rate_ratio` is the
// rate held from the first character to the last over the nominal rate.
void BM_RepeatHoldsItsRate(benchmark::State& state) {
    constexpr double kIntervalMicros = 30'000;
    LoopbackOnX setup("-ctsMode=sendKeys -ctsSendKeys=a -ctsRepeat=30,30");
    const auto seconds = std::chrono::seconds(state.range(0));
    Samples intervals;
    Samples jitter;
    double span = 0;  // from the first character to the last, us
    for (auto _ : state) {
        QEventLoop loop;
        bool lost = false;
        std::thread watcher([&] {
            const auto end = velnor::bench::Clock::now() + seconds;
            lost = !setup.window.awaitCount(0, 1);
            const auto first = velnor::bench::Clock::now();
            auto last = first;
            while (!lost && velnor::bench::Clock::now() < end) {
                lost = !setup.window.awaitCount(0, 1);
                const double interval = velnor::bench::microsSince(last);
                last = velnor::bench::Clock::now();
                intervals.add(interval);
                jitter.add(std::abs(interval - kIntervalMicros));
            }
            span = std::chrono::duration<double, std::micro>(last - first).count();
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        setup.port->setLine(velnor::LoopbackPort::Line::Cts, true);
        loop.exec();
        watcher.join();
        setup.port->setLine(velnor::LoopbackPort::Line::Cts, false);
        if (lost) state.SkipWithError("the repeat stopped");
    }
    intervals.report(state);
    jitter.report(state, "jitter_");
    if (span > 0)
        state.counters["rate_ratio"] =
            static_cast<double>(intervals.size()) * kIntervalMicros / span;
}
BENCHMARK(BM_RepeatHoldsItsRate)
    ->ArgNames({"seconds"})
    ->Arg(30)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kSecond)
    ->Apply(velnor::bench::withSpread);

}  // namespace
