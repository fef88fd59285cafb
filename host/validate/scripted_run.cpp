#include "validate/scripted_run.h"

#include <cmath>
#include <sstream>

#include "common/host_error.h"

namespace mphost::validation {

namespace {

// The signal of audio input `input` at sample `t`: a sine of its own frequency with a
// little noise, peak about 0.9.
float inputSignal(std::uint64_t seed, std::size_t input, std::int64_t t)
{
    std::uint64_t hash = (seed ^ (input * 0x9E3779B97F4A7C15ull)) + static_cast<std::uint64_t>(t) * 0xBF58476D1CE4E5B9ull;
    hash ^= hash >> 31;
    hash *= 0x94D049BB133111EBull;
    hash ^= hash >> 29;
    const float noise = static_cast<float>(hash >> 40) / 16777216.0f - 0.5f;
    const double frequency = 0.013 + 0.007 * static_cast<double>(input);
    return static_cast<float>(0.8 * std::sin(frequency * static_cast<double>(t))) + 0.2f * noise;
}

}  // namespace

Script makeScript(CheckContext& context, std::int64_t blocks, const std::vector<int>& sizes)
{
    Script script;
    script.signalSeed = context.random();
    // Pins by their description: the instances are created with every duplicated pin once.
    std::vector<const PinDescription*> targets;
    for (const PinDescription& pin : context.module.dsp->pins)
        if (pin.direction == 0 && pin.datatype != 5)
            targets.push_back(&pin);
    for (std::int64_t b = 0; b < blocks; ++b) {
        ScriptBlock block;
        block.count = pick(context.random, sizes);
        if (!targets.empty() && uniformInt(context.random, 0, 3) == 0) {
            const int events = uniformInt(context.random, 1, 4);
            for (int e = 0; e < events; ++e) {
                const PinDescription& pin = *pick(context.random, targets);
                ScriptEvent event;
                event.pin = pin.autoDuplicate ? pin.name + "[0]" : pin.name;
                event.timestamp = uniformInt(context.random, 0, block.count - 1);
                if (pin.datatype == gmpi::MP_MIDI)
                    event.midi = makeMidi(context.random, false);
                else
                    event.value = makeValue(context.random, pin.datatype, false);
                block.events.push_back(std::move(event));
            }
        }
        script.blocks.push_back(std::move(block));
    }
    return script;
}

ScriptPlayer::ScriptPlayer(DspModule& module, const Script& script) : module(module), script(script)
{
    for (const DspPin& pin : module.pins()) {
        if (pin.isAudio() && pin.isInput())
            audioInputs.push_back(pin.name);
        else if (pin.isAudio())
            audioOutputs.push_back(pin.name);
        else if (!pin.isInput() && pin.datatype != gmpi::MP_MIDI)
            controlOutputs.push_back(pin.name);
    }
    taken.names = audioOutputs;
    taken.names.insert(taken.names.end(), controlOutputs.begin(), controlOutputs.end());
    taken.audio.resize(audioOutputs.size());
    taken.control.resize(controlOutputs.size());
}

void ScriptPlayer::step()
{
    const ScriptBlock& block = script.blocks[next];
    if (next == 0)
        for (const std::string& input : audioInputs)
            module.queueStreaming(input, true, 0);
    for (const ScriptEvent& event : block.events) {
        if (module.pin(event.pin).datatype == gmpi::MP_MIDI)
            module.queueMidi(event.pin, event.midi, event.timestamp);
        else
            module.queueValue(event.pin, event.value, event.timestamp);
    }
    for (std::size_t k = 0; k < audioInputs.size(); ++k) {
        const std::span<float> buffer = module.input(audioInputs[k]);
        for (int i = 0; i < block.count; ++i)
            buffer[static_cast<std::size_t>(i)] = inputSignal(script.signalSeed, k, clock + i);
    }
    module.process(block.count);
    for (std::size_t k = 0; k < audioOutputs.size(); ++k) {
        const std::span<const float> samples = module.output(audioOutputs[k]);
        for (int i = 0; i < block.count; ++i) {
            const float sample = samples[static_cast<std::size_t>(i)];
            if (!std::isfinite(sample) && !taken.nonFinite) {
                taken.nonFinite = true;
                taken.nonFiniteWhere = "output \"" + audioOutputs[k] + "\" is " + std::to_string(sample) +
                                       " at sample " + std::to_string(i) + " of block " + std::to_string(next);
            }
            taken.audio[k].push_back(sample);
        }
    }
    for (std::size_t k = 0; k < controlOutputs.size(); ++k)
        taken.control[k].push_back(formatPinValue(module.outputValue(controlOutputs[k])));
    (void)module.takeMessages();
    clock += block.count;
    ++next;
}

DspModuleOptions scriptInstanceOptions(float sampleRate, std::shared_ptr<SharedMemoryPool> pool)
{
    DspModuleOptions options;
    options.sampleRate = sampleRate;
    options.maxBlockSize = 4096;
    options.sharedMemory = std::move(pool);
    return options;
}

Recording playAlone(CheckContext& context, const Script& script, const DspModuleOptions& options)
{
    DspModule instance(context.bundle, context.module, options);
    instance.start();
    ScriptPlayer player(instance, script);
    while (!player.done())
        player.step();
    return player.recording();
}

std::string firstDifference(const Recording& reference, const Recording& other, const Script& script)
{
    // Block and offset of sample `n`.
    const auto where = [&script](std::size_t n) {
        std::size_t block = 0;
        while (block < script.blocks.size() && n >= static_cast<std::size_t>(script.blocks[block].count))
            n -= static_cast<std::size_t>(script.blocks[block++].count);
        return "sample " + std::to_string(n) + " of block " + std::to_string(block);
    };
    for (std::size_t k = 0; k < reference.audio.size() && k < other.audio.size(); ++k)
        for (std::size_t n = 0; n < reference.audio[k].size() && n < other.audio[k].size(); ++n)
            if (!sameValue(reference.audio[k][n], other.audio[k][n])) {
                std::ostringstream text;
                text << "output \"" << reference.names[k] << "\" is " << other.audio[k][n] << " instead of "
                     << reference.audio[k][n] << " at " << where(n);
                return text.str();
            }
    const std::size_t audioCount = reference.audio.size();
    for (std::size_t k = 0; k < reference.control.size() && k < other.control.size(); ++k)
        for (std::size_t b = 0; b < reference.control[k].size() && b < other.control[k].size(); ++b)
            if (reference.control[k][b] != other.control[k][b])
                return "output \"" + reference.names[audioCount + k] + "\" is " + other.control[k][b].substr(0, 60) +
                       " instead of " + reference.control[k][b].substr(0, 60) + " after block " + std::to_string(b);
    return {};
}

}  // namespace mphost::validation
