// Entry point of every benchmark program: one application object. Programs that show the program's
// window (VELNOR_BENCH_WINDOWS_ON_X) show it on the benchmark's own Xvfb, so that its painting
// reaches an X server as a user's does; the others run widgets on the offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>

#ifdef VELNOR_BENCH_WINDOWS_ON_X
#include <cstdio>
#include <exception>

#include "on_xvfb.h"
#endif

int main(int argc, char** argv) {
#ifdef VELNOR_BENCH_WINDOWS_ON_X
    try {
        qputenv("DISPLAY", velnor::bench::display().c_str());
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "xcb");
#else
    qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
