// Synthetic input through XTest into a real X server, received by an X client window:
// one key press and release through our backend against a bare XTest loop doing the same, and a
// 54-character SendKeys string. Starts its own Xvfb.
#include <benchmark/benchmark.h>

#include <stdexcept>

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

void BM_BareXTestKeyPressRelease(benchmark::State& state) {
    velnor::test::FocusWindow window(display());
    Display* connection = XOpenDisplay(display().c_str());
    const KeyCode a = XKeysymToKeycode(connection, XK_a);
    for (auto _ : state) {
        XTestFakeKeyEvent(connection, a, True, CurrentTime);
        XFlush(connection);
        XTestFakeKeyEvent(connection, a, False, CurrentTime);
        XFlush(connection);
        if (!window.awaitCount(2, 1)) state.SkipWithError("events lost");
    }
    XCloseDisplay(connection);
}
BENCHMARK(BM_BareXTestKeyPressRelease)->UseRealTime();

void BM_XTestBackendKeyPressRelease(benchmark::State& state) {
    velnor::test::FocusWindow window(display());
    auto sink = std::move(*velnor::openXTestInput(display().c_str()));
    for (auto _ : state) {
        sink->key('A', true);
        sink->key('A', false);
        if (!window.awaitCount(2, 1)) state.SkipWithError("events lost");
    }
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

}  // namespace
