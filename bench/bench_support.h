// Counters shared by the benchmarks: cost per sample and the multiple of real time.
#pragma once

#include <benchmark/benchmark.h>

namespace bench {

// Sets "ns/sample" and "x realtime@48k" for `samplesPerIteration` processed per iteration.
inline void reportPerSample(benchmark::State& state, double samplesPerIteration)
{
    const double samples = samplesPerIteration * static_cast<double>(state.iterations());
    // Inverted rate of (samples x 1e-9) per second: elapsed nanoseconds per sample.
    state.counters["ns/sample"] =
        benchmark::Counter(samples * 1e-9, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["x realtime@48k"] = benchmark::Counter(samples / 48000.0, benchmark::Counter::kIsRate);
}

}  // namespace bench
