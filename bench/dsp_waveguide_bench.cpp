// Cost of the waveguide, the morphers, the oscilloscopes and the plotter in ns per
// sample, through the loaded dsp_modules bundle and the host harness, in blocks of 64
// samples with every audio input streaming. DWG and Morph2D (8 inputs) also run as plain
// inline loops of the same arithmetic. After the run, one line per comparison:
//   ratio <module>_vs_inline <module time / inline time>
//   ratio <module>_realtime <multiple of real time at 48 kHz>
// Both from CPU time per block.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <xmmintrin.h>

#include "bench_modules.h"

namespace {

constexpr int blockSize = 64;
constexpr int morphInputs = 8;
const std::string dspPath = std::string(MP_BUNDLE_DIR) + "/dsp_modules.so";

using bench::signal;

using bench::flushSubnormals;

// The waveguide's and the morphers' inputs, as both the modules and the inline loops read them.
struct Inputs {
    float excitation[blockSize], pitch[blockSize], gate[blockSize], feedback[blockSize], damping[blockSize];
    float position[blockSize], focus[blockSize];
    float in[morphInputs][blockSize];
    Inputs()
    {
        for (int i = 0; i < blockSize; ++i) {
            excitation[i] = signal(i, 0);
            pitch[i] = 1.0f + 0.05f * signal(i, 1);  // delays around 100 samples
            gate[i] = 1.0f;
            feedback[i] = 0.98f;
            damping[i] = 0.3f;
            position[i] = 0.5f + 0.45f * std::sin(0.01f * static_cast<float>(i));
            focus[i] = 0.7f;
            for (int k = 0; k < morphInputs; ++k)
                in[k][i] = signal(i, k + 2);
        }
    }
};
const Inputs inputs;

std::unique_ptr<mphost::DspModule> streaming(const std::string& id, const std::map<std::string, mphost::PinValue>& values,
                                             const std::map<std::string, const float*>& signals,
                                             mphost::DspModuleOptions options = {})
{
    options.maxBlockSize = blockSize;
    auto module = bench::loadModule(dspPath, id, values, std::move(options));
    bench::streamAudioInputs(*module, blockSize, signals);
    module->process(blockSize);
    return module;
}

void runBlocks(benchmark::State& state, mphost::DspModule& module)
{
    bench::runBlocks(state, module, blockSize);
}

// ---------------------------------------------------------------------------------
// DWG

const std::map<std::string, mphost::PinValue> dwgValues = {{"PitchCorrection", true}, {"FeedbackScaling", true},
                                                           {"DCBlock", 0.5f}};

void BM_Module_DWG(benchmark::State& state)
{
    auto module = streaming("DWG", dwgValues,
                            {{"Excitation", inputs.excitation}, {"Pitch", inputs.pitch}, {"Gate", inputs.gate},
                             {"Feedback", inputs.feedback}, {"Damping", inputs.damping}});
    runBlocks(state, *module);
}
BENCHMARK(BM_Module_DWG);

// The waveguide's sample loop written out inline on the same tables and inputs.
struct InlineWaveguide {
    static constexpr int line = 5000, side = 1024;
    std::vector<float> pcorr = std::vector<float>(side * side), fbscal = std::vector<float>(side * side);
    float loop[line] = {}, excitationLine[line] = {}, dc[side] = {};
    int write = 0;
    float delayNow = 1.0f, apState = 0.0f, lowpass = 0.0f, dcIn = 0.0f, dcOut = 0.0f, envelope = 0.0f;
    float out[blockSize] = {};

    InlineWaveguide()
    {
        double x = 0.0;
        for (int i = 0; i < side; ++i, x += 0.0009775171065493646) {
            double a = 1.0;
            for (int j = 0; j < side; ++j, a += 4.886608015640274) {
                const double w = 6.28318530717958 / a;
                pcorr[i * side + j] = static_cast<float>(
                    std::max(1.0, a - a * 0.15915494309189 * std::atan2(std::sin(x * w), 1.0 - x * std::cos(w))));
                fbscal[i * side + j] = static_cast<float>(std::pow(x, 261.6529068725 / 48000.0 * a));
            }
        }
        double a = 1.0;
        for (int j = 0; j < side; ++j, a += 4.886608015640274)
            dc[j] = static_cast<float>(std::exp(-0.5 / (a * a)));
    }
    static float limit(float v, float low, float high) { return v > low ? (v < high ? v : high) : low; }
    static float finite(float v) { return std::fabs(v) <= 1e15f ? v : 0.0f; }
    static float lookup(const float* t, float x, float column)
    {
        const float r = x * 1023.0f;
        const int row = static_cast<int>(r), col = static_cast<int>(column);
        const float fr = r - row, fc = column - col;
        const float* p = t + row * side + col;
        float upper = (1.0f - fc) * p[0];
        if (col <= side - 2)
            upper += fc * p[1];
        float result = (1.0f - fr) * upper;
        if (row <= side - 2) {
            float lower = (1.0f - fc) * p[side];
            if (col <= side - 2)
                lower += fc * p[side + 1];
            result += fr * lower;
        }
        return result;
    }

    void process(const Inputs& in)
    {
        const float t = 48.0f;
        for (int s = 0; s < blockSize; ++s) {
            float delay = limit(10.0f * in.pitch[s], 1.0f, 5000.0f);
            const float b = limit(in.damping[s], 0.0f, 1.0f);
            const float k = b * t / ((t - 48.0f) * b + 48.0f);
            delay = lookup(pcorr.data(), k, (delay - 1.0f) * (1023.0f / 4999.0f));
            const float column = (delay - 1.0f) * (1023.0f / 4999.0f);
            const float clamped = limit(in.feedback[s], -1.0f, 1.0f);
            float fb = lookup(fbscal.data(), std::fabs(clamped), column);
            if (clamped < 0.0f)
                fb = -fb;
            float e = finite(in.excitation[s]);
            if (fb > 0.0f) {
                const int c = static_cast<int>(column);
                const float f = column - c;
                float r = (1.0f - f) * dc[c];
                if (c < side - 1)
                    r += f * dc[c + 1];
                const float filtered = finite(e - dcIn + r * dcOut);
                dcIn = e;
                dcOut = filtered;
                e = filtered;
            }
            envelope = in.gate[s] != 0.0f ? std::min(1.0f, envelope + 0.005f) : std::max(0.0f, envelope - 0.0005875f);
            delayNow = delay;
            const int whole = static_cast<int>(delay);
            const float fraction = delay - whole;
            const float alpha = (1.0f - fraction) / (1.0f + fraction);
            int read = write - whole;
            if (read < 0)
                read += line;
            const float x0 = loop[read];
            float y;
            if (alpha >= 0.9f) {
                y = x0;
            } else {
                y = (x0 - apState) * alpha + loop[read == 0 ? line - 1 : read - 1];
            }
            apState = y;
            out[s] = y;
            excitationLine[write] = e;
            const float gain = fb * envelope;
            if (gain != 0.0f) {
                if (k != 0.0f) {
                    y = k * lowpass + (1.0f - k) * y;
                    lowpass = y;
                }
                e = finite(e + gain * y);
            }
            loop[write] = e;
            if (++write == line)
                write = 0;
        }
    }
};

void BM_Inline_DWG(benchmark::State& state)
{
    auto waveguide = std::make_unique<InlineWaveguide>();
    flushSubnormals();
    for (auto _ : state) {
        waveguide->process(inputs);
        benchmark::DoNotOptimize(waveguide->out);
        benchmark::ClobberMemory();
    }
    bench::reportPerSample(state, blockSize);
}
BENCHMARK(BM_Inline_DWG);

// ---------------------------------------------------------------------------------
// Morphers

std::map<std::string, const float*> morphSignals()
{
    std::map<std::string, const float*> signals{{"Position", inputs.position}, {"Focus", inputs.focus}};
    for (int k = 0; k < morphInputs; ++k)
        signals["In[" + std::to_string(k) + "]"] = inputs.in[k];
    return signals;
}

mphost::DspModuleOptions morphOptions()
{
    mphost::DspModuleOptions options;
    options.duplicates = {{"In", morphInputs}};
    return options;
}

void BM_Module_Morph2D(benchmark::State& state)
{
    auto module = streaming("Morph2D", {}, morphSignals(), morphOptions());
    runBlocks(state, *module);
}
BENCHMARK(BM_Module_Morph2D);

void BM_Inline_Morph2D(benchmark::State& state)
{
    float weights[morphInputs] = {};
    float lastX = -1.0f, lastY = -1.0f;
    float out[blockSize];
    flushSubnormals();
    for (auto _ : state) {
        for (int i = 0; i < blockSize; ++i) {
            const float y = std::clamp(inputs.focus[i], 0.0f, 1.0f);
            const float x = std::clamp(inputs.position[i], 0.0f, 1.0f);
            if (x != lastX || y != lastY) {
                lastX = x;
                lastY = y;
                const float n = static_cast<float>(morphInputs), e = x * n, share = 1.0f / n;
                const auto weightOf = [&](int k) {
                    const float compared = (k == 0 && e > n - 1.0f) ? e - n : e;
                    const float t = std::fmax(0.0f, 1.0f - std::fabs(compared - static_cast<float>(k)));
                    const float o = t * y + 1.0f - y;
                    return o * y + share * o * (1.0f - y);
                };
                const float o = 1.0f - y;
                std::fill(std::begin(weights), std::end(weights), o * y + share * o * (1.0f - y));
                const int below = std::min(static_cast<int>(e), morphInputs - 1);
                weights[below] = weightOf(below);
                if (below + 1 < morphInputs)
                    weights[below + 1] = weightOf(below + 1);
                weights[0] = weightOf(0);
            }
            float sum = 0.0f;
            for (int k = 0; k < morphInputs; ++k)
                sum += weights[k] * inputs.in[k][i];
            out[i] = sum;
        }
        benchmark::DoNotOptimize(out);
        benchmark::ClobberMemory();
    }
    bench::reportPerSample(state, blockSize);
}
BENCHMARK(BM_Inline_Morph2D);

void BM_Module_Morph1D(benchmark::State& state)
{
    auto module = streaming("Morph1D", {{"Curve", std::int32_t{1}}}, morphSignals(), morphOptions());
    runBlocks(state, *module);
}
BENCHMARK(BM_Module_Morph1D);

// ---------------------------------------------------------------------------------
// Displays (DSP halves)

void BM_Module_Oscilloscope(benchmark::State& state)
{
    auto module = streaming("Oscilloscope", {}, {});
    runBlocks(state, *module);
}
BENCHMARK(BM_Module_Oscilloscope);

void BM_Module_Oscilloscope2(benchmark::State& state)
{
    auto module = streaming("Oscilloscope2", {{"XMode", std::int32_t{1}}}, {});
    runBlocks(state, *module);
}
BENCHMARK(BM_Module_Oscilloscope2);

void BM_Module_Plotter(benchmark::State& state)
{
    auto module = streaming("Plotter", {{"Interval", 10.0f}}, {});
    runBlocks(state, *module);
}
BENCHMARK(BM_Module_Plotter);

}  // namespace

int main(int argc, char** argv)
{
    bench::FigureReporter ns(bench::FigureReporter::counter("ns/sample"));
    if (!bench::runBenchmarks(argc, argv, ns))
        return 1;
    for (const std::string name : {"DWG", "Morph2D"})
        ns.printQuotient(name + "_vs_inline", "BM_Module_" + name, "BM_Inline_" + name);
    for (const std::string name : {"DWG", "Morph1D", "Morph2D", "Oscilloscope", "Oscilloscope2", "Plotter"})
        ns.printRealtime(name + "_realtime", "BM_Module_" + name);
    return 0;
}
