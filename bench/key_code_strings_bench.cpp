// Parsing a long key code string: 100 steps of 9 names each, looked up in the key list.
#include <benchmark/benchmark.h>

#include <QComboBox>
#include <QStringList>

#include "key_names/key_names.h"
#include "platform/widgets.h"
#include "signal_actions/key_code_strings.h"

namespace {

void BM_ParseHundredStepsOfNine(benchmark::State& state) {
    QComboBox lookup;
    velnor::makeDropDownList(lookup);
    velnor::FillKeyList(lookup);
    QStringList steps;
    for (int step = 0; step < 100; ++step) {
        QStringList names;
        for (int k = 0; k < 9; ++k)
            names.append(velnor::keyNameTable()[(step * 9 + k) % 99].text.section(u' ', 0, 0));
        steps.append(names.join(u'+'));
    }
    const QString text = steps.join(u',');
    for (auto _ : state) benchmark::DoNotOptimize(velnor::parseKeyCodeString(text, lookup));
}
BENCHMARK(BM_ParseHundredStepsOfNine)->Unit(benchmark::kMillisecond);

}  // namespace
