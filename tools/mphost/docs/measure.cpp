#include "docs/measure.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <map>
#include <numbers>

#include "common/host_error.h"
#include "drawing/drawing_surface.h"
#include "harness/dsp_module.h"
#include "harness/gui_module.h"
#include "mp_api.h"

namespace mphost::docs {

namespace {

constexpr int blockSize = 64;

// The hinted pin values that belong to `half`, parsed by the pins' datatypes; `other` is
// the module's other half (null when it has none), where the remaining names must lie.
std::map<std::string, PinValue> hintedValues(const ModuleDescription& module, const HalfDescription& half,
                                             const HalfDescription* other)
{
    std::map<std::string, PinValue> values;
    for (const auto& [name, text] : module.docs.values) {
        const PinDescription* pin = half.find(name);
        if (!pin) {
            if (!other || !other->find(name))
                throw HostError("module \"" + module.id + "\": docs.values names \"" + name +
                                "\", which is no pin of the module; name one of its pins in its description");
            continue;
        }
        try {
            values.emplace(name, parsePinValue(pin->datatype, text));
        } catch (const HostError& error) {
            throw HostError("module \"" + module.id + "\": docs.values." + name + ": " + error.what());
        }
    }
    return values;
}

// The pin named `hint`, else the first audio pin of `direction`; empty when there is none.
std::string audioPin(const DspModule& dsp, const std::string& hint, int direction)
{
    if (!hint.empty()) {
        dsp.pin(hint);  // throws, naming the module's pins, when absent
        return hint;
    }
    for (const DspPin& pin : dsp.pins())
        if (pin.isAudio() && pin.direction == direction)
            return pin.name;
    return {};
}

// A module's DSP half at the measuring rate, started with its hinted values.
struct Measured {
    std::unique_ptr<DspModule> dsp;
    std::string in;
    std::string out;

    // `driven`: an audio input plays the test signal (otherwise every input keeps its value).
    Measured(const std::shared_ptr<Bundle>& bundle, const ModuleDescription& module, bool driven)
    {
        DspModuleOptions options;
        options.sampleRate = measureRate;
        options.maxBlockSize = blockSize;
        dsp = std::make_unique<DspModule>(bundle, module, options);
        dsp->start(hintedValues(module, *module.dsp, module.gui ? &*module.gui : nullptr));
        if (driven)
            in = audioPin(*dsp, module.docs.in, gmpi::MP_IN);
        out = audioPin(*dsp, module.docs.out, gmpi::MP_OUT);
        if (!in.empty())
            dsp->queueStreaming(in, true);
    }

    // `samples` of the output while the input plays `input` (then silence).
    std::vector<float> run(const std::vector<float>& input, std::size_t samples)
    {
        std::vector<float> result;
        result.reserve(samples);
        for (std::size_t done = 0; done < samples; done += blockSize) {
            const int count = static_cast<int>(std::min<std::size_t>(blockSize, samples - done));
            if (!in.empty()) {
                const auto buffer = dsp->input(in);
                for (int i = 0; i < count; ++i)
                    buffer[i] = done + i < input.size() ? input[done + i] : 0.0f;
            }
            dsp->process(count);
            const auto output = dsp->output(out);
            result.insert(result.end(), output.begin(), output.begin() + count);
        }
        return result;
    }
};

// Frequencies from 20 Hz to 20 kHz, evenly spaced on a log axis.
std::vector<double> audioFrequencies(int count = 1200)
{
    std::vector<double> result;
    for (int i = 0; i < count; ++i)
        result.push_back(20.0 * std::pow(1000.0, i / double(count - 1)));
    return result;
}

// |sum of x[n] w[n] e^(-i 2 pi f n / rate)|, the phasor advanced by rotation.
double transformMagnitude(const float* x, std::size_t count, double hertz, const std::vector<double>* window)
{
    const std::complex<double> step = std::polar(1.0, -2.0 * std::numbers::pi * hertz / measureRate);
    std::complex<double> phasor = 1.0;
    std::complex<double> sum = 0.0;
    for (std::size_t n = 0; n < count; ++n) {
        sum += phasor * (window ? (*window)[n] * x[n] : double(x[n]));
        phasor *= step;
        if ((n & 1023) == 1023)
            phasor /= std::abs(phasor);
    }
    return std::abs(sum);
}

double decibels(double magnitude)
{
    return 20.0 * std::log10(std::max(magnitude, 1e-12));
}

Series timeSeries(const std::vector<float>& samples, std::size_t count, const std::string& label)
{
    Series series{label, {}};
    for (std::size_t i = 0; i < std::min(count, samples.size()); ++i)
        series.points.emplace_back(i * 1000.0 / measureRate, samples[i]);
    return series;
}

std::vector<Chart> response(Measured& measured)
{
    std::vector<float> impulse(1, 1.0f);
    const std::vector<float> output = measured.run(impulse, 32768);
    Chart time{"Impulse response", "samples", "amplitude", false, std::nullopt, {{"", {}}}};
    for (std::size_t i = 0; i < 256; ++i)
        time.series[0].points.emplace_back(double(i), output[i]);
    Chart magnitude{"Magnitude response", "frequency (Hz)", "dB", true, std::nullopt, {{"", {}}}};
    double top = -1e300;
    for (double f : audioFrequencies()) {
        const double db = magnitudeDb(output, f);
        magnitude.series[0].points.emplace_back(f, db);
        top = std::max(top, db);
    }
    double bottom = top;
    for (const auto& point : magnitude.series[0].points)
        bottom = std::min(bottom, point.second);
    magnitude.yRange = std::pair{std::max(bottom, top - 80.0) - 3.0, top + 3.0};
    return {time, magnitude};
}

std::vector<Chart> transfer(Measured& measured, std::pair<float, float> range)
{
    constexpr std::size_t length = 4096;
    std::vector<float> ramp(length);
    for (std::size_t i = 0; i < length; ++i)
        ramp[i] = range.first + (range.second - range.first) * float(i) / float(length - 1);
    const std::vector<float> output = measured.run(ramp, length);
    Chart chart{"Transfer curve", "input", "output", false, std::nullopt, {{"", {}}}};
    for (std::size_t i = 0; i < length; i += 4)
        chart.series[0].points.emplace_back(ramp[i], output[i]);
    return {chart};
}

std::vector<Chart> waveform(Measured& measured)
{
    constexpr std::size_t settle = 4800;  // 0.1 s
    constexpr std::size_t window = 8192;
    const std::vector<float> output = measured.run({}, settle + window);
    Chart time{"Waveform", "time (ms)", "amplitude", false, std::nullopt, {timeSeries(output, 960, "")}};
    std::vector<double> hann(window);
    double sum = 0;
    for (std::size_t n = 0; n < window; ++n)
        sum += hann[n] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * n / window);
    Chart spectrum{"Spectrum", "frequency (Hz)", "dB (full-scale sine: 0)", true, std::pair{-120.0, 6.0}, {{"", {}}}};
    for (double f : audioFrequencies())
        spectrum.series[0].points.emplace_back(
            f, decibels(2.0 * transformMagnitude(output.data() + settle, window, f, &hann) / sum));
    return {time, spectrum};
}

std::vector<Chart> signal(Measured& measured)
{
    constexpr std::size_t length = 2400;  // 50 ms
    std::vector<float> sine(length);
    for (std::size_t i = 0; i < length; ++i)
        sine[i] = 0.8f * static_cast<float>(std::sin(2.0 * std::numbers::pi * 100.0 * i / measureRate));
    const std::vector<float> output = measured.run(sine, length);
    Chart chart{"100 Hz sine in, output", "time (ms)", "amplitude", false, std::nullopt,
                {timeSeries(sine, length, "input " + measured.in), timeSeries(output, length, "output " + measured.out)}};
    return {chart};
}

}  // namespace

std::string plotKind(const ModuleDescription& module)
{
    if (!module.docs.plot.empty())
        return module.docs.plot;
    if (!module.dsp)
        return "none";
    bool audioIn = false;
    bool audioOut = false;
    for (const PinDescription& pin : module.dsp->pins) {
        audioIn |= pin.datatype == gmpi::MP_AUDIO && pin.isInput();
        audioOut |= pin.datatype == gmpi::MP_AUDIO && !pin.isInput();
    }
    return !audioOut ? "none" : audioIn ? "signal" : "waveform";
}

double magnitudeDb(const std::vector<float>& impulse, double hertz)
{
    return decibels(transformMagnitude(impulse.data(), impulse.size(), hertz, nullptr));
}

std::vector<Chart> measureDsp(const std::shared_ptr<Bundle>& bundle, const ModuleDescription& module)
{
    const std::string kind = plotKind(module);
    if (kind == "none" || !module.dsp)
        return {};
    Measured measured(bundle, module, kind != "waveform");
    if (measured.out.empty())
        throw HostError("module \"" + module.id + "\": a " + kind +
                        " plot needs an audio output; set docs.out or docs.plot \"none\" in its description");
    if ((kind == "response" || kind == "transfer" || kind == "signal") && measured.in.empty())
        throw HostError("module \"" + module.id + "\": a " + kind +
                        " plot needs an audio input; set docs.in or another docs.plot in its description");
    if (kind == "response")
        return response(measured);
    if (kind == "transfer")
        return transfer(measured, module.docs.range.value_or(std::pair{-1.5f, 1.5f}));
    if (kind == "waveform")
        return waveform(measured);
    return signal(measured);
}

bool drawGui(const std::shared_ptr<Bundle>& bundle, const ModuleDescription& module,
             const std::filesystem::path& skinFolder, const std::filesystem::path& png)
{
    if (!module.gui)
        return false;
    GuiModuleOptions options;
    options.host.skinFolder = skinFolder;
    GuiModule gui(bundle, module, options);
    if (!gui.isGraphical())
        return false;
    gui.start(hintedValues(module, *module.gui, module.dsp ? &*module.dsp : nullptr));
    int width = 160;
    int height = 100;
    if (module.docs.size) {
        std::tie(width, height) = *module.docs.size;
    } else {
        const GmpiDrawing_API::MP1_SIZE desired = gui.measure({160.0f, 100.0f});
        if (std::isfinite(desired.width) && std::isfinite(desired.height) && desired.width >= 1 && desired.height >= 1) {
            width = static_cast<int>(std::ceil(std::min(desired.width, 800.0f)));
            height = static_cast<int>(std::ceil(std::min(desired.height, 800.0f)));
        }
    }
    const DrawingSurface surface = gui.renderAlone(width, height);
    // A module that draws nothing (an invisible hover area, say) gets no picture.
    bool drawn = false;
    for (int y = 0; y < surface.height() && !drawn; ++y)
        for (int x = 0; x < surface.width() && !drawn; ++x)
            drawn = surface.pixel(x, y).a != 0;
    return drawn && surface.writePng(png);
}

}  // namespace mphost::docs
