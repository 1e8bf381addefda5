// Parsing a long key code string: 100 steps of 9 names each, looked up in the key list.
#include <benchmark/benchmark.h>

#include "core/controls.h"
#include "core/key_code_strings.h"
#include "core/key_names.h"
#include "samples.h"

namespace {

void BM_ParseHundredStepsOfNine(benchmark::State& state) {
    velnor::DropDownList lookup;
    velnor::FillKeyList(lookup);
    std::u16string text;
    for (int step = 0; step < 100; ++step) {
        if (step > 0) text += u',';
        for (int k = 0; k < 9; ++k) {
            if (k > 0) text += u'+';
            text += velnor::keyNameOf(velnor::keyNameTable()[(step * 9 + k) % 99].text);
        }
    }
    const auto lookUp = [&lookup](std::u16string_view name) {
        return velnor::keyCodeByName(lookup, name);
    };
    velnor::bench::Samples parses;
    for (auto _ : state)
        parses.time(state,
                    [&] { benchmark::DoNotOptimize(velnor::parseKeyCodeString(text, lookUp)); });
    parses.report(state);
}
BENCHMARK(BM_ParseHundredStepsOfNine)->Apply(velnor::bench::sampled<500>);

}  // namespace
