// One event-log line with the window shown, painted at once, after a short, a long and a very long
// run of the program: 10, 1,000 and 100,000 lines logged before, each line a different message, as
// commands and line changes make them. The log keeps its newest 1,000 lines, so the three should
// cost the same.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <string>

#include "core/input_sink.h"
#include "samples.h"
#include "support/linux_form.h"
#include "support/paint_counter.h"
#include "view/qt/form_view.h"

namespace {

// A different command each time, of varying length.
std::u16string message(int64_t number) {
    const std::string digits = std::to_string(number);
    return u"DDE LinkExecute:  -dsrSendKeys=" + std::u16string(digits.begin(), digits.end()) +
           u"{ENTER}";
}

void BM_LogLineShown(benchmark::State& state) {
    velnor::NullInputSink input;
    velnor::LinuxForm form(input, "");
    velnor::QtFormView view(form);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) return state.SkipWithError("the window never shows");
    int64_t logged = 0;
    while (logged < state.range(0)) form.LogEvent(message(logged++));
    QApplication::processEvents();
    QWidget& label = *view.widgetOf(form.EventLog);
    velnor::test::PaintCounter labelPaints(label);
    velnor::test::PaintCounter framePaints(*view.widgetOf(form.Frame1));
    velnor::bench::Samples lines;
    for (auto _ : state) {
        lines.time(state, [&] {
            form.LogEvent(message(logged++));
            label.repaint();  // at once, with whatever else its painting takes
        });
    }
    lines.report(state);
    const auto count = static_cast<double>(state.iterations());
    state.counters["label_paints_per_line"] = static_cast<double>(labelPaints.paints) / count;
    state.counters["frame_paints_per_line"] = static_cast<double>(framePaints.paints) / count;
}
BENCHMARK(BM_LogLineShown)->Arg(10)->Arg(1000)->Arg(100000)->Apply(velnor::bench::sampled<300>);

}  // namespace
