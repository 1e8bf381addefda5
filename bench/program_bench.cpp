// The whole program as a separate process: start to window shown (and its resident memory then)
// under Xvfb, and one Execute round trip over the session bus. Starts its own Xvfb and bus.
#include <benchmark/benchmark.h>

#include <QThread>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "support/session_bus.h"
#include "support/velnor_process.h"
#include "support/x_server.h"

// Xlib's macros (Status, Bool) break Qt headers included after them.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

using velnor::test::residentMegabytes;
using velnor::test::VelnorProcess;

const std::string& display() {
    const std::string& name = velnor::test::xvfbDisplay();
    if (name.empty()) throw std::runtime_error(velnor::test::xvfbProblem().toStdString());
    return name;
}

bool windowShown(Display* connection) {
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
            shown = std::strcmp(name, "Velnor Control") == 0;
            XFree(name);
        }
    }
    XFree(children);
    return shown;
}

void BM_StartToWindowShown(benchmark::State& state) {
    Display* connection = XOpenDisplay(display().c_str());
    double resident = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        VelnorProcess velnor({}, velnor::test::loopbackOnX(display()));
        while (!windowShown(connection)) {
            if (std::chrono::steady_clock::now() - start > std::chrono::seconds(10)) {
                state.SkipWithError("no window within 10 s");
                break;
            }
            QThread::usleep(200);
        }
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        resident = std::max(resident, residentMegabytes(velnor.process().processId()));
    }
    state.counters["resident_MB"] = resident;
    XCloseDisplay(connection);
}
BENCHMARK(BM_StartToWindowShown)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_ExecuteRoundTrip(benchmark::State& state) {
    VelnorProcess velnor({}, velnor::test::loopbackOnX(display()));
    if (!velnor::test::waitForRunningCopy()) state.SkipWithError("no running copy");
    for (auto _ : state)
        if (!velnor::test::executeOnRunningCopy(QString()).isEmpty())
            state.SkipWithError("refused");
}
BENCHMARK(BM_ExecuteRoundTrip)->Unit(benchmark::kMicrosecond);

}  // namespace
