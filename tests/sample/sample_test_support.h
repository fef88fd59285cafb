// Helpers of the sample-module tests: the sample_modules bundle, sample blobs, block
// rendering with per-sample inputs, and what a module published in each block.
#pragma once

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "harness/gui_module.h"
#include "test_support.h"

namespace sample_test {

inline const mphost::BundleDescription& descriptions()
{
    static const auto loaded = mphost::BundleDescription::loadFile(
        mphost::BundleDescription::pathBeside(testing_support::bundlePath("sample_modules")));
    return loaded;
}

inline std::shared_ptr<mphost::Bundle> bundle()
{
    static const auto loaded = mphost::Bundle::load(testing_support::bundlePath("sample_modules"));
    return loaded;
}

// Created and started with the descriptions' defaults; the first block not yet processed.
inline std::unique_ptr<mphost::DspModule> makeDsp(const std::string& id, mphost::DspModuleOptions options = {})
{
    auto module = std::make_unique<mphost::DspModule>(bundle(), *descriptions().find(id), std::move(options));
    module->start();
    return module;
}

inline std::unique_ptr<mphost::GuiModule> makeGui(const std::string& id)
{
    auto module = std::make_unique<mphost::GuiModule>(bundle(), *descriptions().find(id));
    module->start();
    module->takeTransmissions();
    return module;
}

inline mphost::Bytes blobOf(const std::vector<float>& samples)
{
    mphost::Bytes bytes(samples.size() * 4);
    if (!samples.empty())
        std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

inline std::vector<float> floatsOf(const mphost::PinValue& value)
{
    const auto& bytes = std::get<mphost::Bytes>(value);
    std::vector<float> samples(bytes.size() / 4);
    if (!samples.empty())
        std::memcpy(samples.data(), bytes.data(), samples.size() * 4);
    return samples;
}

// n frames i x step + offset.
inline std::vector<float> ramp(int n, float step = 0.001f, float offset = 0.0f)
{
    std::vector<float> samples(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        samples[static_cast<std::size_t>(i)] = static_cast<float>(i) * step + offset;
    return samples;
}

// A value published on a control output, at its sample in the render.
struct Published {
    int position;
    std::string pin;
    mphost::PinValue value;
};

struct Rendered {
    std::vector<float> samples;
    std::vector<Published> values;
    std::vector<std::pair<int, bool>> streaming;  // (position, state) of the audio output
    std::uint64_t allocations = 0;                // inside process, over all blocks
};

// Fills inputs for samples [first, first + count) of the render; buffers start at index 0.
using Fill = std::function<void(mphost::DspModule& module, int first, int count)>;

// Processes `count` samples in blocks of the module's maximum size; `output` "" for a
// module without audio output.
inline Rendered render(mphost::DspModule& module, int count, const Fill& fill = {},
                       const std::string& output = "AudioOut")
{
    Rendered result;
    for (int first = 0; first < count; first += module.maxBlockSize()) {
        const int n = std::min(module.maxBlockSize(), count - first);
        if (fill)
            fill(module, first, n);
        module.process(n);
        result.allocations += module.allocationsInLastProcess();
        if (!output.empty()) {
            const auto out = module.output(output);
            result.samples.insert(result.samples.end(), out.begin(), out.begin() + n);
        }
        const auto& log = module.lastBlockLog();
        for (const auto& record : log.records()) {
            if (record.kind == mphost::OutputLog::Kind::Message || record.pinOrId < 0)
                continue;
            const auto& pin = module.pins()[static_cast<std::size_t>(record.pinOrId)];
            if (record.kind == mphost::OutputLog::Kind::Streaming && pin.name == output)
                result.streaming.emplace_back(first + record.timestamp, record.streaming != 0);
            if (record.kind == mphost::OutputLog::Kind::Value)
                result.values.push_back({first + record.timestamp, pin.name,
                                         mphost::decodePinValue(pin.datatype, log.payload(record), record.size)});
        }
    }
    return result;
}

// A Fill writing gate(i) (sample i of the render) into the module's "Gate" input.
inline Fill gateOf(std::function<float(int)> gate, std::string pinName = "Gate")
{
    return [gate = std::move(gate), pinName](mphost::DspModule& module, int first, int count) {
        auto buffer = module.input(pinName);
        for (int i = 0; i < count; ++i)
            buffer[static_cast<std::size_t>(i)] = gate(first + i);
    };
}

}  // namespace sample_test
