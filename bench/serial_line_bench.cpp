// The road a user feels, inside one process: a line change on the loopback port to the key arriving
// in a focused X client, through the form as the program has it (CTS emulating its key, Alt) and
// the XTest backend into an Xvfb of the benchmark's own. The change is made either by a command
// ("-rts", "-rtsOff": RTS drives CTS on the loopback plug), as the running copy executes one from
// the bus, or by flipping the line itself from another thread, as a port's watcher does.
#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <stdexcept>
#include <thread>

#include "platform/loopback/loopback_port.h"
#include "platform/x11/xtest_input.h"
#include "samples.h"
#include "support/test_form.h"
#include "support/x_server.h"

namespace {

using velnor::bench::Samples;
using velnor::bench::timeMicros;

const std::string& display() {
    const std::string& name = velnor::test::xvfbDisplay();
    if (name.empty()) throw std::runtime_error(velnor::test::xvfbProblem().toStdString());
    return name;
}

// A loaded form with COM1 open on the loopback plug, typing through XTest into `window`.
struct LoopbackOnX {
    LoopbackOnX() : sink(openSink()), form(*sink, "") {
        qputenv("VELNOR_COM1", "loopback");
        form.Form_Load();
        form.optCom1.setValue(true);
        port = velnor::loopbackPort(form);
        if (!port) throw std::runtime_error("COM1 is not the loopback plug");
    }

    static std::unique_ptr<velnor::InputSink> openSink() {
        auto opened = velnor::openXTestInput(display().c_str());
        if (!opened) throw std::runtime_error(opened.error().toStdString());
        return std::move(*opened);
    }

    // After the edge, the server holds CTS's key alone when on and nothing when off: each edge
    // brought exactly the one event waited for.
    bool holdsOnlyTheKey(bool on) {
        return window.held() == (on ? QStringList{"Alt_L"} : QStringList{});
    }

    velnor::test::FocusWindow window{display()};
    std::unique_ptr<velnor::InputSink> sink;
    velnor::TestForm form;
    velnor::LoopbackPort* port = nullptr;
};

// Each sample one edge, on and off in turn: press and release reported apart.
template <class Change>
void keyEdges(benchmark::State& state, LoopbackOnX& setup, Change change) {
    Samples presses;
    Samples releases;
    bool on = true;
    for (auto _ : state) {
        const double micros = timeMicros([&] {
            change(on);
            if (!setup.window.awaitCount(1, 0)) state.SkipWithError("the key never arrived");
        });
        if (!setup.holdsOnlyTheKey(on)) state.SkipWithError("other keys came with the edge");
        (on ? presses : releases).add(micros);
        state.SetIterationTime(micros / 1e6);
        on = !on;
    }
    presses.report(state, "press_");
    releases.report(state, "release_");
}

void BM_CommandInProcessToKeyInXClient(benchmark::State& state) {
    LoopbackOnX setup;
    keyEdges(state, setup, [&](bool on) {
        int cancel = 0;
        setup.form.Form_LinkExecute(on ? u"-rts" : u"-rtsOff", cancel);
    });
}
BENCHMARK(BM_CommandInProcessToKeyInXClient)
    ->Iterations(2000)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Apply(velnor::bench::withSpread);

// The window's thread runs its event loop as the program's does; the line flips on another thread,
// which then waits for the key on the X client's connection.
void BM_LineChangeToKeyInXClient(benchmark::State& state) {
    LoopbackOnX setup;
    const int edges = static_cast<int>(state.range(0));
    Samples presses;
    Samples releases;
    for (auto _ : state) {
        QEventLoop loop;
        bool lost = false;
        std::thread flipper([&] {
            for (int edge = 0; edge < edges && !lost; ++edge) {
                const bool on = edge % 2 == 0;
                const velnor::bench::Clock::time_point start = velnor::bench::Clock::now();
                setup.port->setLine(velnor::LoopbackPort::Line::Cts, on);
                lost = !setup.window.awaitCount(1, 0);
                (on ? presses : releases).add(velnor::bench::microsSince(start));
                lost = lost || !setup.holdsOnlyTheKey(on);
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        flipper.join();
        if (lost) state.SkipWithError("the key never arrived, or others came with it");
    }
    presses.report(state, "press_");
    releases.report(state, "release_");
}
BENCHMARK(BM_LineChangeToKeyInXClient)
    ->Arg(2000)
    ->Iterations(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Apply(velnor::bench::withSpread);

}  // namespace
