// Cost of one event-log line after a short and after a long run of the program: in the form alone,
// and with the window shown, where the line is also painted.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>

#include "core/input_sink.h"
#include "support/paint_counter.h"
#include "support/test_form.h"
#include "view/qt/form_view.h"

namespace {

void BM_LogEventAfter(benchmark::State& state) {
    velnor::NullInputSink input;
    velnor::TestForm form(input, "");
    for (int64_t i = 0; i < state.range(0); ++i) form.LogEvent(u"optDTROn_Click");
    for (auto _ : state) form.LogEvent(u"optDTROn_Click");
}
BENCHMARK(BM_LogEventAfter)->Arg(10)->Arg(1000)->Arg(100000);

void BM_LogEventShown(benchmark::State& state) {
    velnor::NullInputSink input;
    velnor::TestForm form(input, "");
    velnor::QtFormView view(form);
    view.show();
    if (!QTest::qWaitForWindowExposed(&view)) return state.SkipWithError("the window never shows");
    for (int64_t i = 0; i < state.range(0); ++i) form.LogEvent(u"optDTROn_Click");
    QApplication::processEvents();
    QWidget& label = *view.widgetOf(form.EventLog);
    velnor::test::PaintCounter labelPaints(label);
    velnor::test::PaintCounter framePaints(*view.widgetOf(form.Frame1));
    for (auto _ : state) {
        form.LogEvent(u"optDTROn_Click");
        label.repaint();  // at once, with whatever else its painting takes
    }
    const auto lines = static_cast<double>(state.iterations());
    state.counters["label_paints_per_line"] = static_cast<double>(labelPaints.paints) / lines;
    state.counters["frame_paints_per_line"] = static_cast<double>(framePaints.paints) / lines;
}
BENCHMARK(BM_LogEventShown)->Arg(10)->Arg(1000)->Unit(benchmark::kMicrosecond);

}  // namespace
