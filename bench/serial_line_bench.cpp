// From a line change on the loopback port, flipped by another thread, to the input event that the
// window injects for it: DSR in "Emulate a key" mode, one key event per edge.
#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/loopback/loopback_port.h"
#include "platform/synthetic_input.h"
#include "support/test_form.h"

namespace {

using Clock = std::chrono::steady_clock;

// Stamps the moment each key event arrives.
class StampingSink final : public velnor::InputSink {
  public:
    void key(int, bool) override {
        arrived.store(Clock::now().time_since_epoch().count());
        arrived.notify_one();
    }
    void mouseButton(velnor::MouseButton, bool) override {}
    void typeCharacter(char32_t) override {}

    std::atomic<Clock::rep> arrived{0};
};

double percentile(std::vector<double> sorted, double fraction) {
    return sorted[static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1))];
}

void BM_LoopbackEdgeToInjectedEvent(benchmark::State& state) {
    const int edges = static_cast<int>(state.range(0));
    qputenv("VELNOR_COM1", "loopback");
    StampingSink sink;
    velnor::TestForm form(sink, "");
    form.Form_Load();
    form.optCom1.setValue(true);
    velnor::LoopbackPort& port = *loopbackPort(form);

    std::vector<double> micros;
    for (auto _ : state) {
        micros.clear();
        micros.reserve(edges);
        QEventLoop loop;
        std::thread flipper([&] {
            for (int edge = 0; edge < edges; ++edge) {
                sink.arrived.store(0);
                const Clock::time_point start = Clock::now();
                port.setLine(velnor::LoopbackPort::Line::Dsr, edge % 2 == 0);
                sink.arrived.wait(0);
                const Clock::duration took =
                    Clock::duration(sink.arrived.load()) - start.time_since_epoch();
                micros.push_back(std::chrono::duration<double, std::micro>(took).count());
            }
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        flipper.join();
    }
    std::sort(micros.begin(), micros.end());
    state.counters["p50_us"] = percentile(micros, 0.50);
    state.counters["p99_us"] = percentile(micros, 0.99);
    state.counters["max_us"] = micros.back();
}
BENCHMARK(BM_LoopbackEdgeToInjectedEvent)
    ->Arg(10'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
