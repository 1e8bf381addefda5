// Cost of one event-log append after a short and after a long run of the program.
#include <benchmark/benchmark.h>

#include "main_window/main_form.h"
#include "platform/synthetic_input.h"

namespace {

void BM_LogEventAfter(benchmark::State& state) {
    velnor::InputBackend input = velnor::openInputBackend();
    velnor::MainForm form(*input.sink, "");
    for (int64_t i = 0; i < state.range(0); ++i) form.LogEvent("optDTROn_Click");
    for (auto _ : state) form.LogEvent("optDTROn_Click");
}
BENCHMARK(BM_LogEventAfter)->Arg(10)->Arg(1000)->Arg(100000);

}  // namespace
