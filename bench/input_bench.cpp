// Synthetic input through XTest into a real X server, received by an X client window:
// one key press and release through our backend against a bare XTest loop doing the same, and a
// 54-character SendKeys string; the backend's start (its X connection and its guardian process)
// against a bare XTest connection's. Starts its own Xvfb. p50 and p99 are per iteration.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <vector>

#include "core/send_keys.h"
#include "platform/x11/xtest_input.h"
#include "support/x_server.h"

// Xlib's macros (Status, Bool) break Qt headers included after them.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

const std::string& display() {
    const std::string& name = velnor::test::xvfbDisplay();
    if (name.empty()) throw std::runtime_error(velnor::test::xvfbProblem().toStdString());
    return name;
}

// Times each iteration's `body` and reports the median and the 99th percentile in microseconds.
template <class Body>
void percentiles(benchmark::State& state, Body body) {
    std::vector<double> samples;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        body();
        samples.push_back(
            std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::ranges::sort(samples);
    const auto at = [&](double share) {
        return samples[size_t(share * double(samples.size() - 1))];
    };
    state.counters["p50_us"] = at(0.5);
    state.counters["p99_us"] = at(0.99);
    state.counters["samples"] = double(samples.size());
}

void BM_BareXTestKeyPressRelease(benchmark::State& state) {
    velnor::test::FocusWindow window(display());
    Display* connection = XOpenDisplay(display().c_str());
    const KeyCode a = XKeysymToKeycode(connection, XK_a);
    percentiles(state, [&] {
        XTestFakeKeyEvent(connection, a, True, CurrentTime);
        XFlush(connection);
        XTestFakeKeyEvent(connection, a, False, CurrentTime);
        XFlush(connection);
        if (!window.awaitCount(2, 1)) state.SkipWithError("events lost");
    });
    XCloseDisplay(connection);
}
BENCHMARK(BM_BareXTestKeyPressRelease)->UseRealTime();

void BM_XTestBackendKeyPressRelease(benchmark::State& state) {
    velnor::test::FocusWindow window(display());
    auto sink = std::move(*velnor::openXTestInput(display().c_str()));
    percentiles(state, [&] {
        sink->key('A', true);
        sink->key('A', false);
        if (!window.awaitCount(2, 1)) state.SkipWithError("events lost");
    });
}
BENCHMARK(BM_XTestBackendKeyPressRelease)->UseRealTime();

void BM_SendKeys54Characters(benchmark::State& state) {
    const std::u16string keys = u"Hello, World! The quick brown fox jumps over 13 dogs.~";
    velnor::test::FocusWindow window(display());
    auto sink = std::move(*velnor::openXTestInput(display().c_str()));
    for (auto _ : state) {
        velnor::SendKeys(*sink, keys);
        if (!window.awaitCount(0, qsizetype(keys.size()))) state.SkipWithError("characters lost");
    }
}
BENCHMARK(BM_SendKeys54Characters)->UseRealTime()->Unit(benchmark::kMillisecond);

// What our backend's start costs beyond a bare XTest connection: mostly its guardian process.
void BM_BareXTestOpen(benchmark::State& state) {
    percentiles(state, [] {
        Display* connection = XOpenDisplay(display().c_str());
        int event, error, major, minor;
        XTestQueryExtension(connection, &event, &error, &major, &minor);
        XCloseDisplay(connection);
    });
}
BENCHMARK(BM_BareXTestOpen)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(200);

void BM_XTestBackendOpenWithGuardian(benchmark::State& state) {
    percentiles(state, [] { velnor::openXTestInput(display().c_str()); });
}
BENCHMARK(BM_XTestBackendOpenWithGuardian)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(200);

}  // namespace
