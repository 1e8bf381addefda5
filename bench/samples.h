#pragma once

// What every benchmark reports: per-sample times as p50 and p99 with the number of samples, and,
// where a reference exists, the reference timed in the same rounds, alternating sample by sample,
// with the ratio of the two p50s. Run with --benchmark_repetitions=5 (scripts/bench) to get each
// counter's min, median and max over the runs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <type_traits>
#include <vector>

namespace velnor::bench {

using Clock = std::chrono::steady_clock;

inline double microsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Microseconds that `body` takes, once.
template <class Body>
double timeMicros(Body&& body) {
    const Clock::time_point start = Clock::now();
    body();
    return microsSince(start);
}

// One sample of `body`: the microseconds it returns where it times a part of itself (leaving out
// its own setting up and clearing away), else the microseconds it takes.
template <class Body>
double sampleOf(Body&& body) {
    if constexpr (std::is_same_v<std::invoke_result_t<Body>, double>)
        return body();
    else
        return timeMicros(body);
}

// The samples of one measured quantity, in microseconds.
class Samples {
  public:
    void add(double micros) { values_.push_back(micros); }
    std::size_t size() const { return values_.size(); }

    // Times `body` as one sample, which is also the iteration's manual time.
    template <class Body>
    void time(benchmark::State& state, Body&& body) {
        const double micros = timeMicros(body);
        add(micros);
        state.SetIterationTime(micros / 1e6);
    }

    // The value below which `share` of the samples lie (nearest rank); 0 without samples.
    double percentile(double share) const {
        if (values_.empty()) return 0;
        std::vector<double> sorted = values_;
        const auto rank = static_cast<std::size_t>(share * static_cast<double>(sorted.size() - 1));
        std::ranges::nth_element(sorted, sorted.begin() + static_cast<std::ptrdiff_t>(rank));
        return sorted[rank];
    }
    double p50() const { return percentile(0.50); }
    double p99() const { return percentile(0.99); }

    // Counters `<name>p50_us`, `<name>p99_us` and `<name>samples` (name "" or "ref_", say).
    void report(benchmark::State& state, const std::string& name = "") const {
        state.counters[name + "p50_us"] = p50();
        state.counters[name + "p99_us"] = p99();
        state.counters[name + "samples"] = static_cast<double>(size());
    }

  private:
    std::vector<double> values_;
};

// Times our `ours` and the `reference` doing the same work once per iteration each (see
// sampleOf), the one going first swapping every iteration so that neither gains from the other's
// warming; reports both and `ratio_p50` (ours over the reference). The benchmark's own time is
// ours: register it with UseManualTime().
template <class Ours, class Reference>
void alternate(benchmark::State& state, Ours&& ours, Reference&& reference,
               const std::string& referenceName = "ref_") {
    Samples ourSamples;
    Samples referenceSamples;
    bool oursFirst = true;
    for (auto _ : state) {
        if (state.error_occurred()) break;
        double our = 0;
        if (oursFirst) {
            our = sampleOf(ours);
            referenceSamples.add(sampleOf(reference));
        } else {
            referenceSamples.add(sampleOf(reference));
            our = sampleOf(ours);
        }
        ourSamples.add(our);
        state.SetIterationTime(our / 1e6);
        oursFirst = !oursFirst;
    }
    ourSamples.report(state);
    referenceSamples.report(state, referenceName);
    if (referenceSamples.p50() > 0)
        state.counters["ratio_p50"] = ourSamples.p50() / referenceSamples.p50();
}

// Adds min and max to the statistics of repeated runs (mean, median and stddev are there already):
// BENCHMARK(BM_Name)->Apply(velnor::bench::withSpread).
inline void withSpread(benchmark::internal::Benchmark* benchmark) {
    benchmark->ComputeStatistics(
        "min", [](const std::vector<double>& values) { return *std::ranges::min_element(values); });
    benchmark->ComputeStatistics(
        "max", [](const std::vector<double>& values) { return *std::ranges::max_element(values); });
}

// The registration of a benchmark that takes one sample per iteration and reports it as its manual
// time: `count` samples, in microseconds, with the spread of repeated runs.
// BENCHMARK(BM_Name)->Apply(velnor::bench::sampled<300>).
template <int64_t count>
void sampled(benchmark::internal::Benchmark* benchmark) {
    benchmark->Iterations(count)->UseManualTime()->Unit(benchmark::kMicrosecond);
    withSpread(benchmark);
}

}  // namespace velnor::bench
