// The program under load: a burst of 10,000 Execute calls from another process into the running
// copy, 100,000 line edges on the loopback port from another thread into a window, and Execute
// round trips while the running copy types 32,000 CJK characters into an X window. Reports the
// rate, the notifications the window handled, the growth of resident memory, and p50/p99.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusPendingCall>

#include "platform/linux/synthetic_input.h"
#include "platform/loopback/loopback_port.h"
#include "samples.h"
#include "support/line_flood.h"
#include "support/linux_form.h"
#include "support/velnor_process.h"
#include "support/x_server.h"

namespace {

using velnor::test::residentMegabytes;

void BM_ExecuteBurst(benchmark::State& state) {
    const int calls = static_cast<int>(state.range(0));
    velnor::test::VelnorProcess velnor({});
    if (!velnor::test::waitForRunningCopy()) state.SkipWithError("no running copy");
    const qint64 pid = velnor.process().processId();
    const auto burst = [&] {
        std::vector<QDBusPendingCall> pending;
        pending.reserve(calls);
        for (int n = 0; n < calls; ++n)
            pending.push_back(velnor::test::testBus().asyncCall(
                velnor::test::executeCall(QStringLiteral("-dsrSendKeys=%1").arg(n)), 60000));
        int refused = 0;
        for (QDBusPendingCall& call : pending) {
            call.waitForFinished();
            refused += call.isError();
        }
        return refused;
    };
    burst();  // the log reaches its bound first
    const double before = residentMegabytes(pid);
    for (auto _ : state)
        if (burst() != 0) state.SkipWithError("calls refused");
    state.counters["calls_per_s"] =
        benchmark::Counter(double(calls), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["resident_growth_MB"] = residentMegabytes(pid) - before;
}
BENCHMARK(BM_ExecuteBurst)
    ->Arg(10'000)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Apply(velnor::bench::withSpread);

void BM_LineEdgeFlood(benchmark::State& state) {
    const int edges = static_cast<int>(state.range(0));
    qputenv("VELNOR_COM1", "loopback");
    velnor::NullInputSink input;
    velnor::LinuxForm form(input, "-port=com1");
    form.Form_Load();
    velnor::LoopbackPort& port = *loopbackPort(form);
    int notifications = 0;
    form.MSComm1.OnComm = [&notifications, handle = form.MSComm1.OnComm] {
        ++notifications;
        handle();
    };
    const double before = residentMegabytes(QCoreApplication::applicationPid());
    for (auto _ : state) {
        notifications = 0;
        velnor::test::floodLines(port, edges);
    }
    state.counters["edges_per_s"] =
        benchmark::Counter(double(edges), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["notifications"] = notifications;
    state.counters["resident_growth_MB"] =
        residentMegabytes(QCoreApplication::applicationPid()) - before;
}
BENCHMARK(BM_LineEdgeFlood)
    ->Arg(100'000)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Apply(velnor::bench::withSpread);

// How soon the running copy answers a command while it types a long text of characters the
// keymap lacks: each needs a keycode bound for the moment, 19 at a time under Xvfb.
void BM_ExecuteWhileTypingLongText(benchmark::State& state) {
    const std::string& display = velnor::test::xvfbDisplay();
    if (display.empty()) return state.SkipWithError("no Xvfb");
    velnor::test::FocusWindow window(display);
    QString text;
    for (int i = 0; i < 32000; ++i) text += QChar(0x4e00 + i % 2000);
    velnor::test::VelnorProcess velnor(
        {"-dsrMode=sendKeys", "-dsrSendKeys=" + text, "-port=com1", "-dtr"},
        velnor::test::loopbackOnX(display));
    if (!window.awaitCount(0, 100)) return state.SkipWithError("typing did not begin");
    velnor::bench::Samples calls;
    for (auto _ : state) {
        QDBusMessage reply;
        calls.add(velnor::bench::timeMicros([&] {
            reply = velnor::test::testBus().call(velnor::test::executeCall("-ctsMode=sendKeys"),
                                                 QDBus::Block, 10000);
        }));
        if (reply.type() != QDBusMessage::ReplyMessage) state.SkipWithError("no answer");
        window.awaitCount(0, 0);  // reads what was typed meanwhile
    }
    calls.report(state);
}
BENCHMARK(BM_ExecuteWhileTypingLongText)
    ->Iterations(200)
    ->Unit(benchmark::kMillisecond)
    ->Apply(velnor::bench::withSpread);

}  // namespace
