// Counters and result lines shared by the benchmarks: cost per sample, the multiple of
// real time, and the "ratio <name> <value>" lines printed after a run from the figures
// of that one run.
#pragma once

#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// Sets "ns/sample" and "x realtime@48k" for `samplesPerIteration` processed per iteration
// (both from processor time).
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

// Prints one result line, "ratio <name> <value>", with `decimals` decimals.
inline void printRatio(const std::string& name, double value, int decimals = 3)
{
    std::printf("ratio %s %.*f\n", name.c_str(), decimals, value);
}

// Multiple of real time at 48 kHz for a cost of `nsPerSample`.
inline double realtimeFactor(double nsPerSample)
{
    return 1e9 / (nsPerSample * 48000.0);
}

// The console table, and one figure per benchmark kept for the result lines: a counter's
// value, or a time per iteration. Benchmarks are named by their function and arguments
// ("BM_WTOsc/440", "BM_ShapeOsc/Hz:100"); with --benchmark_repetitions the median stands
// for the benchmark.
class FigureReporter : public benchmark::ConsoleReporter {
public:
    // The figure of one run; NaN when the run has none.
    using Figure = std::function<double(const Run&)>;

    explicit FigureReporter(Figure figure) : ConsoleReporter(OO_Tabular), figure(std::move(figure)) {}

    // The value of counter `name` (for example "ns/sample").
    static Figure counter(std::string name)
    {
        return [name = std::move(name)](const Run& run) {
            const auto found = run.counters.find(name);
            return found == run.counters.end() ? std::nan("") : static_cast<double>(found->second.value);
        };
    }
    // Processor time per iteration, in the benchmark's time unit.
    static double cpuTime(const Run& run) { return run.iterations > 0 ? run.GetAdjustedCPUTime() : std::nan(""); }
    // Wall-clock seconds per iteration.
    static double realSeconds(const Run& run)
    {
        return run.iterations > 0 ? run.real_accumulated_time / static_cast<double>(run.iterations) : std::nan("");
    }

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            const double value = figure(run);
            if (std::isnan(value))
                continue;
            const std::string name =
                run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
            if (run.run_type == Run::RT_Iteration && !medians.count(name))
                figures[name] = value;
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median") {
                figures[name] = value;
                medians.insert(name);
            }
        }
    }

    bool has(const std::string& name) const { return figures.count(name) != 0; }
    // The figure of benchmark `name`; 0 when it did not run.
    double operator[](const std::string& name) const
    {
        const auto found = figures.find(name);
        return found == figures.end() ? 0.0 : found->second;
    }
    const std::map<std::string, double>& all() const { return figures; }

    // Prints "ratio <name> <figure of a / figure of b>" when both ran and b's figure is
    // above 0.
    void printQuotient(const std::string& name, const std::string& a, const std::string& b, int decimals = 3) const
    {
        if (has(a) && has(b) && (*this)[b] > 0.0)
            printRatio(name, (*this)[a] / (*this)[b], decimals);
    }
    // Prints "ratio <name> <multiple of real time at 48 kHz>" from the "ns/sample" figure
    // of `benchmarkName`, when it ran.
    void printRealtime(const std::string& name, const std::string& benchmarkName) const
    {
        if (has(benchmarkName) && (*this)[benchmarkName] > 0.0)
            printRatio(name, realtimeFactor((*this)[benchmarkName]), 0);
    }

private:
    Figure figure;
    std::map<std::string, double> figures;
    std::set<std::string> medians;
};

// Parses the options, runs the benchmarks into `reporter` and shuts the library down;
// false (after a message) on options it does not know.
inline bool runBenchmarks(int argc, char** argv, FigureReporter& reporter)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return false;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return true;
}

}  // namespace bench
