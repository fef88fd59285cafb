// Counters shared by the benchmarks: cost per sample and the multiple of real time.
#pragma once

#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <cmath>

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

// A test signal in [-1, 1] for sample `n` of input `pin`: a slow sine with a fast one on
// top, different for every pin, so no module sees a constant.
inline float signal(int n, int pin)
{
    return std::sin(0.05f * static_cast<float>(n) + static_cast<float>(pin)) * 0.9f +
           0.1f * std::sin(1.7f * static_cast<float>(n * (pin + 1)));
}

// Flush-to-zero and denormals-are-zero, as the host sets them on its audio thread.
inline void flushSubnormals()
{
    _mm_setcsr(_mm_getcsr() | 0x8040);
}

}  // namespace bench
